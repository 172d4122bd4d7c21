// Reading an archive and extracting every file.
#pragma once

#include <cstdint>
#include <string>

#include "engine/notices.h"
#include "engine/extraction/target_folder.h"
#include "support/bytes.h"
#include "support/progress.h"

struct TExtractRequest {
    bool bigEndian = false;
    std::string archivePath;
    std::string targetDir;    // "" only reads the archive: nothing is extracted
    bool hashTags = false;    // each file's hash tag in its name
    bool convertLoc = true;   // .loc string tables written as text
    ProgressProc progress;    // hears of each file extracted, and may stop the extraction
    TNotices* notices = nullptr;
    TTargetFolder targetFolder = TTargetFolder::MustExist;
    // For a caller that asks for the listing as text: cleared and given one ListingLine per
    // file once the header and directory read (a walk that fails leaves the lines it met);
    // left as it was when they do not read.
    TStringList* listing = nullptr;
};

struct TExtractResult {
    bool ok = false;            // read, and with a target extracted, without fault
    int64_t fileCount = 0;      // the files the archive lists, once its header and directory read
    int64_t extractedCount = 0;  // the files written without fault
};

// Reads the archive; with a target directory it then extracts every file below it. More
// file records than the data area can hold streams for (MaxFileRecords) are a fault, found
// before the index grows past them. Why the archive could not be read (and, when it reads in
// the other byte order, the advice to choose that), each file that failed, and files beside
// the archive that were left alone are told in notices.
TExtractResult ExtractArchive(const TExtractRequest& request);
