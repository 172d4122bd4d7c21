// Extracting the entries of an archive that chosen paths select, by the rules and with the
// safety of a whole extraction.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/reading/archive_reader.h"
#include "engine/notices.h"
#include "support/progress.h"

struct TSelectiveExtractionRequest {
    bool bigEndian = false;
    std::string archivePath;
    std::string targetDir;
    std::vector<std::string> entryPaths;  // as entry_selection.h reads them; none may have a problem
    bool hashTags = false;
    bool convertLoc = true;
    ProgressProc progress;
    TNotices* notices = nullptr;
    TTargetFolder targetFolder = TTargetFolder::CreateWithParents;
    bool literalPaths = false;  // entryPaths are exact paths: "*", "?" and "**" stand for themselves
};

struct TSelectiveExtractionResult {
    bool ok = false;                       // every path selected something, and every file selected was written
    bool archiveRead = false;              // the header and directory read; nothing was tried otherwise
    int32_t selectedCount = 0;             // the files the paths selected, each once
    int64_t extractedCount = 0;            // of them, the files written without fault
    bool allWritten = false;               // every one of them was written without fault
    std::vector<std::string> unmatched;    // every path that selected nothing, as given
};

// Lists the archive, selects the entries any path names (itself, or a folder it lies in;
// any ASCII case, "/" or "\", "*" and "?" within one part, "**" across parts), and extracts
// just those below the target: only their folders are made, and an unselected entry costs
// no more than matching its path. A path that selects nothing is named in notices and
// written nothing for. ok when every path selected something and every selected file was
// written; a path with a problem (EntryPatternProblem) is refused, told in notices, before
// the archive is opened.
TSelectiveExtractionResult ExtractSelectedEntries(const TSelectiveExtractionRequest& request);
