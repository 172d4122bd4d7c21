// One file record of an archive as a value, read from a line of the archive's listing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TArchiveEntry {
    std::string path;        // as the directory stores it, "\" between the folders
    int32_t entryPos = 0;    // where its record lies in the decompressed directory
    int32_t dataOffset = 0;  // from the start of the data area
    int32_t absOffset = 0;   // from the start of the file (32-bit, as the listing gives it)
    int32_t packedSize = 0;
    int32_t unpackedSize = 0;

    // Where the stream begins in the file, without the 32-bit wrap of absOffset: a negative
    // data offset points into the header.
    int64_t StreamStart() const;
};

using TArchiveEntries = std::vector<TArchiveEntry>;

// The entry of one listing line.
TArchiveEntry EntryOfListingLine(const std::string& line);
