#include "ui/engine_calls.h"

#include <iostream>

#include "engine/archive_builder.h"
#include "engine/archive_reader.h"
#include "engine/archive_update.h"

namespace {

// The window has no log: what an operation had to tell besides its result (the paths it
// could not read, a journal it left alone) goes to standard error, as the command line's.
void ShowNotices(const TNotices& notices) {
    for (const TNotice& notice : notices) std::cerr << "vpak-gui: " << notice.text << '\n';
}

}  // namespace

TEngineCalls EngineOperations() {
    TEngineCalls calls;
    calls.ExtractArchive = [](bool bigEndian, const std::string& archivePath, TStringList& listing,
                              int32_t& prefixLength, int32_t& suffixLength, const std::string& targetDir,
                              bool hashTags, bool convertLoc, const ProgressProc& progress) {
        TNotices notices;
        const bool ok = ::ExtractArchive(bigEndian, archivePath, listing, prefixLength, suffixLength, targetDir,
                                         hashTags, convertLoc, progress, &notices);
        ShowNotices(notices);
        return ok;
    };
    calls.MakeArchive = [](bool bigEndian, const std::string& sourceDir, const std::string& archivePath,
                           const ProgressProc& progress, bool convertLoc, int32_t& folderCount, int32_t& fileCount) {
        TNotices notices;
        const bool ok =
            ::MakeArchive(bigEndian, sourceDir, archivePath, progress, convertLoc, folderCount, fileCount, &notices);
        ShowNotices(notices);
        return ok;
    };
    calls.ReplaceOneFile = [](bool bigEndian, const std::string& archivePath, const std::string& filePath,
                              const std::string& key, bool convertLoc, bool matchByTag,
                              const ProgressProc& progress) {
        TNotices notices;
        const bool ok =
            ::ReplaceOneFile(bigEndian, archivePath, filePath, key, convertLoc, matchByTag, &notices, progress);
        ShowNotices(notices);
        return ok;
    };
    calls.ReplaceFromDirectory = [](bool bigEndian, const std::string& archivePath, const std::string& sourceDir,
                                    bool matchByTag, bool convertLoc, const ProgressProc& progress,
                                    int32_t& replacedCount) {
        TNotices notices;
        const bool ok = ::ReplaceFromDirectory(bigEndian, archivePath, sourceDir, matchByTag, convertLoc, progress,
                                               replacedCount, &notices);
        ShowNotices(notices);
        return ok;
    };
    return calls;
}
