#include "ui/engine_calls.h"

#include "engine/archive_builder.h"
#include "engine/archive_reader.h"
#include "engine/archive_update.h"
#include "engine/replace_batch.h"

TEngineCalls EngineOperations() {
    TEngineCalls calls;
    // Each engine function is overloaded or takes default arguments, so it is named through a
    // lambda of the exact signature.
    calls.ExtractArchive = [](bool bigEndian, const std::string& archivePath, TStringList& listing,
                              int32_t& prefixLength, int32_t& suffixLength, const std::string& targetDir,
                              bool hashTags, bool convertLoc, const ProgressProc& progress, TNotices* notices,
                              TTargetFolder targetFolder) {
        return ::ExtractArchive(bigEndian, archivePath, listing, prefixLength, suffixLength, targetDir, hashTags,
                                convertLoc, progress, notices, targetFolder);
    };
    calls.MakeArchive = [](bool bigEndian, const std::string& sourceDir, const std::string& archivePath,
                           const ProgressProc& progress, bool convertLoc, int32_t& folderCount, int32_t& fileCount,
                           TNotices* notices) {
        return ::MakeArchive(bigEndian, sourceDir, archivePath, progress, convertLoc, folderCount, fileCount,
                             notices);
    };
    calls.ReplaceOneFile = [](bool bigEndian, const std::string& archivePath, const std::string& filePath,
                              const std::string& key, bool convertLoc, bool matchByTag, TNotices* notices,
                              const ProgressProc& progress) {
        return ::ReplaceOneFile(bigEndian, archivePath, filePath, key, convertLoc, matchByTag, notices, progress);
    };
    calls.ReplaceFromDirectory = [](bool bigEndian, const std::string& archivePath, const std::string& sourceDir,
                                    bool matchByTag, bool convertLoc, const ProgressProc& progress,
                                    int32_t& replacedCount, TNotices* notices) {
        return ::ReplaceFromDirectory(bigEndian, archivePath, sourceDir, matchByTag, convertLoc, progress,
                                      replacedCount, notices);
    };
    calls.ExtractSelected = ExtractSelectedEntries;
    calls.AddToArchive = ::AddToArchive;
    calls.RemoveFromArchive = ::RemoveFromArchive;
    return calls;
}
