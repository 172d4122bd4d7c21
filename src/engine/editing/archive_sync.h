// Bringing an archive to hold exactly a folder: the archive make would build from the folder,
// written through the same staged file, but each entry whose content the folder's file
// still holds keeps its stream, copied as it is.
#pragma once

#include <cstdint>
#include <string>

#include "engine/notices.h"
#include "engine/editing/path_difference.h"
#include "support/progress.h"

struct TSyncRequest {
    bool bigEndian = false;
    std::string archivePath;
    std::string folder;      // "" is the current directory, as for make
    bool convertLoc = true;  // a .loc text is compared and stored as its string table
    bool dryRun = false;     // compare only, and write nothing
    ProgressProc progress;
    TNotices* notices = nullptr;
};

struct TSyncResult {
    bool ok = false;
    // What differs, by path, as diff gives it: for a dry run what would change. A stream
    // that does not inflate to what the folder's file holds, damaged ones included, is a
    // change.
    TArchiveDiff diff;
    int64_t unchanged = 0;  // files whose entry keeps (or would keep) its stream
    bool made = false;      // there was no archive: it was (or would be) built from the folder
    int32_t folderCount = 0;  // in the archive written
    int32_t fileCount = 0;

    int64_t Count(TDifferenceKind kind) const;
};

// Afterwards the archive is byte for byte what make of the folder builds, unless a file
// changed between its comparison and its storing. Where there is no archive, this is make.
// Not ok when the archive or the folder cannot be read at all, or when a file or folder below
// it could not be read or stored (told in notices; the archive is written without it, as
// make writes it).
TSyncResult SyncArchiveWithFolder(const TSyncRequest& request);
