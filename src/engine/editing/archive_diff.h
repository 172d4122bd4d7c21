// Comparing an archive with the folder it would be built from: which paths `make` of the
// folder would add, drop or store with other content. Nothing is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/notices.h"
#include "engine/editing/path_difference.h"
#include "support/progress.h"

struct TArchiveDiffRequest {
    bool bigEndian = false;
    std::string archivePath;
    std::string folder;       // "" is the current directory, as for make
    bool convertLoc = true;   // a .loc text is compared as the string table make would store
    ProgressProc progress;    // hears of each file compared, and may stop the comparison
    TNotices* notices = nullptr;
};

struct TArchiveDiffResult {
    bool ok = false;    // the archive and the folder were read and compared
    TArchiveDiff diff;  // what differs, and the counts of both sides
};

// Walks the folder as make does (the same names, the archive itself left out) and pairs its
// files with the archive's entries by path, in any ASCII case and with "/" or "\" (the key of
// EntryPathKey); two that share a key pair up in the order each side holds them. A pair is
// changed when the content make would store differs from the inflated stream: sizes that
// differ decide at once, equal sizes are confirmed byte by byte. The pairs are compared on
// every core. Not ok, told in notices, when the archive cannot be read or the folder cannot
// be listed at all. A stream that does not inflate raises EDecompressionError naming its
// entry.
TArchiveDiffResult DiffArchiveWithFolder(const TArchiveDiffRequest& request);
