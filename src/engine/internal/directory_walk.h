// Walking a decompressed directory into listing lines, and reading the lines' fields back.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

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

// Every stored file is a zlib stream of at least kSmallestStreamSize bytes (an empty one)
// inside the data area, so a data area of D bytes holds at most D / 8 distinct streams.
// Foreign archives may point several records at one stream (identical files stored once):
// kStreamSharingFactor records per possible stream are allowed, and kRecordAllowance more
// for small archives of many empty files that share one. Millions of records naming one
// 8-byte stream are a listing bomb of gigabytes from an archive of a few hundred kilobytes.
inline constexpr int64_t kSmallestStreamSize = 8;
inline constexpr int64_t kStreamSharingFactor = 4;
inline constexpr int64_t kRecordAllowance = 65536;

// The most file records an archive whose data area holds dataAreaSize bytes may list.
int64_t MaxFileRecords(int64_t dataAreaSize);

struct TWalkLimits {
    int64_t listingBytes = kMaxListingBytes;                        // the listing's text
    int64_t fileRecords = std::numeric_limits<int64_t>::max();      // lines of the listing
    int64_t folderRecords = std::numeric_limits<int64_t>::max();    // folders of the shape
};

// The folder records of a directory as a tree, for an edit that writes them anew: folder 0 is
// the root, every other names its parent (an earlier folder); each file record of the
// listing, in its order, names the folder it lies in and its own name.
struct TDirectoryShape {
    struct Folder {
        int32_t parent = -1;
        std::string name;
    };
    struct File {
        int32_t folder = 0;
        std::string name;
    };
    std::vector<Folder> folders;
    std::vector<File> files;
};

// Appends one line per file record to listing, and with shape given its folders and files. Never reads past the end of the directory;
// nesting is walked with an explicit stack, however deep.
// The walk stops, with tooLarge set, once the listing's text would pass limits.listingBytes
// or its lines limits.fileRecords.
TWalkResult WalkDirectory(bool bigEndian, const TArrayOfByte& directory, int32_t headerSize,
                          TStringList& listing, const TWalkLimits& limits = {}, TDirectoryShape* shape = nullptr);

// WalkDirectory for the shape alone: the same walk, the same limits, no listing.
TWalkResult WalkDirectoryShape(bool bigEndian, const TArrayOfByte& directory, const TWalkLimits& limits,
                               TDirectoryShape& shape);

// The numeric field of a listing line that starts at column (zero-based; the columns are in
// archive_format.h).
int32_t ListingField(const std::string& line, int32_t column);
