// Walking a decompressed directory into listing lines.
#pragma once

#include <cstdint>

#include "support/bytes.h"

struct TWalkResult {
    int32_t cursor = 0;       // where the walk stopped
    int32_t errorCount = 0;   // names whose length was out of range
    bool overran = false;     // a read would have passed the end of the directory
    bool tooLarge = false;    // the listing outgrew its limit
};

// Every line repeats its folder's path, so a small crafted directory (a long path, then many
// tiny file records) could ask for a listing of terabytes. Real archives stay far below this.
inline constexpr int64_t kMaxListingBytes = int64_t{1} << 30;

// Appends one line per file record to listing. Never reads past the end of the directory;
// nesting is walked with an explicit stack, however deep.
// The walk stops, with tooLarge set, once the listing's text would pass maxListingBytes.
TWalkResult WalkDirectory(bool bigEndian, const TArrayOfByte& directory, int32_t headerSize,
                          TStringList& listing, int64_t maxListingBytes = kMaxListingBytes);
