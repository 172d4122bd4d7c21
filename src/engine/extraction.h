// The extraction phase: every listed file written below the target directory.
#pragma once

#include <cstdint>
#include <string>

#include "support/bytes.h"
#include "support/progress.h"

class HostFile;

struct TExtractionRequest {
    bool bigEndian;
    HostFile& archive;
    int64_t archiveSize;
    const TStringList& listing;
    const std::string& targetDir;
    bool hashTags;
    bool convertLoc;
    const ProgressProc& progress;
};

// True when every file was written without fault.
bool ExtractListedFiles(const TExtractionRequest& request);
