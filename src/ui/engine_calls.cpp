#include "ui/engine_calls.h"

#include "engine/archive_builder.h"
#include "engine/archive_reader.h"
#include "engine/archive_update.h"

TEngineCalls EngineOperations() {
    TEngineCalls calls;
    calls.ExtractArchive = ::ExtractArchive;
    calls.MakeArchive = ::MakeArchive;
    calls.ReplaceOneFile = ::ReplaceOneFile;
    calls.ReplaceFromDirectory = [](bool bigEndian, const std::string& archivePath, const std::string& sourceDir,
                                    bool matchByTag, bool convertLoc, const ProgressProc& progress,
                                    int32_t& replacedCount) {
        return ::ReplaceFromDirectory(bigEndian, archivePath, sourceDir, matchByTag, convertLoc, progress,
                                      replacedCount);
    };
    return calls;
}
