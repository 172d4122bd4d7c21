// What an edit of an archive did, file by file and folder by folder.
#pragma once

#include <cstdint>

struct TEditCounts {
    int32_t added = 0;           // files new to the archive
    int32_t replaced = 0;        // entries given new content
    int32_t removedFiles = 0;
    int32_t removedFolders = 0;  // folders named, those below them, and those left empty
    int32_t keptFiles = 0;       // entries copied as they were
    int32_t damagedKept = 0;     // of those, streams seen to be damaged (told in notices)
};

// What an edit returns: whether it went as asked, and what it did.
struct TEditResult {
    bool ok = false;
    TEditCounts counts;
};
