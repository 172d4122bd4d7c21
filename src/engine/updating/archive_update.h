// In-place updating of PC archives: replacing the stored data of an entry the archive holds.
#pragma once

#include <cstdint>
#include <string>

#include "engine/notices.h"
#include "support/progress.h"

struct TReplaceFileRequest {
    bool bigEndian = false;   // an Xbox 360 archive is refused
    std::string archivePath;
    std::string filePath;     // the new content
    std::string key;          // an archive path, or with matchByTag a 24-digit tag text
    bool matchByTag = false;
    bool convertLoc = true;   // a .loc text is stored as its string table
    ProgressProc progress;    // hears the phases of writing, and may stop the replacement
    TNotices* notices = nullptr;
};

struct TReplaceDirRequest {
    bool bigEndian = false;   // an Xbox 360 archive is refused
    std::string archivePath;
    std::string sourceDir;    // "" is the current directory
    bool matchByTag = false;  // a file replaces the entry whose tag its name carries
    bool convertLoc = true;   // a .loc text is stored as its string table
    ProgressProc progress;    // hears of each file handled, and may stop the update
    TNotices* notices = nullptr;
};

// What a replacement did: replacedCount entries were given new content; unchangedCount
// entries (from a directory) already held their file's content and were left as they were.
struct TReplaceResult {
    bool ok = false;
    int32_t replacedCount = 0;
    int32_t unchangedCount = 0;
};

// Replaces the entry the key finds with the content of a file. A file that cannot be read,
// or a tag left empty (a name that carries none) when matchByTag, and why the entry was not
// replaced (an Xbox 360 archive, one that does not read, no such entry, a stream it may not
// replace) are told in notices; then nothing is replaced. Stopped, it rolls back.
TReplaceResult ReplaceOneFile(const TReplaceFileRequest& request);
