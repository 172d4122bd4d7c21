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

struct TArchiveCheck {
    int64_t entryCount = 0;
    std::vector<TEntryFault> faults;  // one per bad entry, in directory order

    bool Sound() const { return faults.empty(); }
};

// Checks the header and the directory, and of every entry: that its path is one extraction
// would write, that its record's sizes are possible, that its stream lies inside the data
// area, that it shares no byte with another stream unless both are the same stream (same
// offset and packed size), and that it inflates to exactly its recorded size and ends
// exactly at its packed size. Streams are inflated on every core, each shared stream once,
// and a stream that overlaps another is not inflated at all: however the records are
// crafted, no more is inflated than the archive's bytes can produce. False, told in
// notices, when the archive cannot be opened or its header or directory does not read; a
// directory that does not inflate raises EDecompressionError. progress hears of each entry
// checked, and may stop the test.
bool CheckArchive(bool bigEndian, const std::string& archivePath, TArchiveCheck& check, const ProgressProc& progress,
                  TNotices* notices);
