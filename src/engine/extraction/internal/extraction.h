// The extraction phase: every listed file written below the target directory.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <string>
#include <vector>

#include "engine/format/archive_index.h"
#include "engine/notices.h"
#include "engine/extraction/target_folder.h"
#include "support/bytes.h"
#include "support/progress.h"

class HostFile;

struct TExtractionRequest {
    bool bigEndian;
    HostFile& archive;
    int64_t archiveSize;
    const TArchiveIndex& index;
    const std::string& targetDir;
    TTargetFolder targetFolder;
    bool hashTags;
    bool convertLoc;
    const ProgressProc& progress;
    TNotices* notices;  // a target that is not there, each failed file, and why
    // The entries to extract, ascending; null for every entry. Entries left out cost
    // nothing: no folder is made for them, no byte of their streams is read.
    const std::vector<size_t>* selection = nullptr;
};

// How an extraction went.
struct TExtractionTally {
    bool targetReady = false;  // the target is a folder (made when asked for); nothing was tried otherwise
    int64_t written = 0;       // files written without fault
    int64_t failed = 0;

    bool Whole() const { return targetReady && failed == 0; }
};

// Writes every file (of the selection); Whole() when each was written without fault. Nothing
// is written outside the target directory, and no symbolic link below it is followed. A
// stream that does not inflate raises EDecompressionError naming its entry.
TExtractionTally ExtractListedFiles(const TExtractionRequest& request);

// True when an extraction would write the archive path below its target: the rule by which
// it refuses a path that is empty, holds an empty, "." or ".." component, begins with a
// drive or holds a NUL.
bool IsExtractablePath(const std::string& archivePath);
