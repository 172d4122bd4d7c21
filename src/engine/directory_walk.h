// Walking a decompressed directory into listing lines.
#pragma once

#include <cstdint>

#include "support/bytes.h"

struct TWalkResult {
    int32_t cursor = 0;       // where the walk stopped
    int32_t errorCount = 0;   // names whose length was out of range
    bool overran = false;     // a read would have passed the end of the directory
};

// Appends one line per file record to listing. Never reads past the end of the directory;
// nesting is walked with an explicit stack, however deep.
TWalkResult WalkDirectory(bool bigEndian, const TArrayOfByte& directory, int32_t headerSize,
                          TStringList& listing);
