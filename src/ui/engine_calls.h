// The archive-engine operations the window's commands call, as replaceable functions: the
// program uses the engine itself, tests can watch the arguments a command passes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "support/bytes.h"
#include "support/progress.h"

struct TEngineCalls {
    std::function<bool(bool bigEndian, const std::string& archivePath, TStringList& listing,
                       int32_t& prefixLength, int32_t& suffixLength, const std::string& targetDir,
                       bool hashTags, bool convertLoc, const ProgressProc& progress)>
        ExtractArchive;
    std::function<bool(bool bigEndian, const std::string& sourceDir, const std::string& archivePath,
                       const ProgressProc& progress, bool convertLoc, int32_t& folderCount, int32_t& fileCount)>
        MakeArchive;
    std::function<bool(bool bigEndian, const std::string& archivePath, const std::string& filePath,
                       const std::string& key, bool convertLoc, bool matchByTag, const ProgressProc& progress)>
        ReplaceOneFile;
    std::function<bool(bool bigEndian, const std::string& archivePath, const std::string& sourceDir,
                       bool matchByTag, bool convertLoc, const ProgressProc& progress, int32_t& replacedCount)>
        ReplaceFromDirectory;
};

// The engine's own operations.
TEngineCalls EngineOperations();
