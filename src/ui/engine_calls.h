// The archive-engine operations the window's commands call, as replaceable functions: the
// program uses the engine itself, tests can watch the arguments a command passes. What an
// operation has to tell besides its result goes to notices, which the window shows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/archive_edit.h"
#include "engine/archive_reader.h"
#include "engine/selective_extraction.h"
#include "engine/notices.h"
#include "support/bytes.h"
#include "support/progress.h"

struct TEngineCalls {
    std::function<bool(bool bigEndian, const std::string& archivePath, TStringList& listing,
                       int32_t& prefixLength, int32_t& suffixLength, const std::string& targetDir,
                       bool hashTags, bool convertLoc, const ProgressProc& progress, TNotices* notices,
                       TTargetFolder targetFolder)>
        ExtractArchive;
    std::function<bool(bool bigEndian, const std::string& sourceDir, const std::string& archivePath,
                       const ProgressProc& progress, bool convertLoc, int32_t& folderCount, int32_t& fileCount,
                       TNotices* notices)>
        MakeArchive;
    std::function<bool(bool bigEndian, const std::string& archivePath, const std::string& filePath,
                       const std::string& key, bool convertLoc, bool matchByTag, TNotices* notices,
                       const ProgressProc& progress)>
        ReplaceOneFile;
    std::function<bool(bool bigEndian, const std::string& archivePath, const std::string& sourceDir,
                       bool matchByTag, bool convertLoc, const ProgressProc& progress, int32_t& replacedCount,
                       TNotices* notices)>
        ReplaceFromDirectory;
    std::function<bool(const TSelectiveExtractionRequest& request, TSelectiveExtractionResult& result)>
        ExtractSelected;
    std::function<bool(const TAddRequest& request, TEditCounts& counts)> AddToArchive;
    std::function<bool(const TRemoveRequest& request, TEditCounts& counts)> RemoveFromArchive;
};

// The engine's own operations.
TEngineCalls EngineOperations();
