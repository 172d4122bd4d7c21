// Testing an archive: everything a reader relies on, checked without writing anything.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/notices.h"
#include "support/progress.h"

struct TEntryFault {
    std::string path;    // as the directory stores it
    std::string reason;  // every fault of the entry, "; " between them
};

struct TCheckRequest {
    bool bigEndian = false;
    std::string archivePath;
    ProgressProc progress;    // hears of each entry checked, and may stop the test
    TNotices* notices = nullptr;
};

struct TArchiveCheck {
    // False when the file cannot be opened (missing, a folder, a device): nothing was tested.
    bool opened = false;
    // False when the file opened but is no archive: its header or directory does not read in
    // the byte order asked for (why is told in notices). No entry is tested then.
    bool readsAsArchive = true;
    int64_t entryCount = 0;
    std::vector<TEntryFault> faults;  // one per bad entry, in directory order

    bool Sound() const { return opened && readsAsArchive && faults.empty(); }
};

// Checks the header and the directory, and of every entry: that its path is one extraction
// would write, that its record's sizes are possible, that its stream lies inside the data
// area, that it shares no byte with another stream unless both are the same stream (same
// offset and packed size), and that it inflates to exactly its recorded size and ends
// exactly at its packed size. Streams are inflated on every core, each shared stream once,
// and a stream that overlaps another is not inflated at all: however the records are
// crafted, no more is inflated than the archive's bytes can produce. A stream that overlaps
// others names the first three (by where they begin) and counts the rest. Not opened, told
// in notices, when the file cannot be opened (missing, a folder, a device); a file that opens
// but whose header or directory does not read, or does not inflate, is no sound archive:
// readsAsArchive is false and why is told in notices.
TArchiveCheck CheckArchive(const TCheckRequest& request);
