// Walking a decompressed directory into the records of an index, inflating it only as far
// as the walk reads; and the listing lines the records give.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "engine/format/archive_index.h"
#include "support/bytes.h"

class TPieceInflater;

struct TWalkResult {
    int32_t cursor = 0;       // where the walk stopped
    int32_t errorCount = 0;   // names whose length was out of range
    bool overran = false;     // a read would have passed the end of the directory
    bool tooLarge = false;    // the records outgrew a limit
};

// Every line of a listing repeats its folder's path, so a small crafted directory (a long
// path, then many tiny file records) could ask for a listing of terabytes. Real archives stay
// far below this. The bound is counted from the records, whether the lines are made or not.
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

// The most folder records it may hold: as many as file records, and kFolderRecordAllowance
// more. A directory of millions of empty folder records (12 bytes each) inflates from a few
// megabytes, and real archives hold far fewer folders than files.
inline constexpr int64_t kFolderRecordAllowance = 2000000;
int64_t MaxFolderRecords(int64_t dataAreaSize);

struct TWalkLimits {
    int64_t listingBytes = kMaxListingBytes;                        // the listing's text
    int64_t fileRecords = std::numeric_limits<int64_t>::max();
    int64_t folderRecords = std::numeric_limits<int64_t>::max();
};

enum class TDeclaredSize { Matches, Differs, Unchecked };

// The decompressed directory as a walk reads it: held whole, or inflated from its packed bytes
// only as far as the walk has read, and never past the size the header declares.
class TDirectoryImage {
public:
    explicit TDirectoryImage(TArrayOfByte whole);
    TDirectoryImage(const TArrayOfByte& packed, int32_t declaredSize);
    ~TDirectoryImage();
    TDirectoryImage(const TDirectoryImage&) = delete;
    TDirectoryImage& operator=(const TDirectoryImage&) = delete;

    // True when the bytes before end are there, inflating up to them. Raises
    // EDecompressionError on corrupt data.
    bool Reach(int64_t end);
    const TArrayOfByte& Bytes() const { return bytes_; }
    TArrayOfByte Take() { return std::move(bytes_); }
    // Whether the whole stream inflates to exactly the declared size. What the image does not
    // hold yet is inflated without being kept; more than budget bytes of it are not inflated
    // at all, and the size is left unchecked.
    TDeclaredSize CheckDeclaredSize(int64_t budget = std::numeric_limits<int64_t>::max());

private:
    TArrayOfByte bytes_;
    int64_t declared_;
    std::unique_ptr<TPieceInflater> inflater_;  // none for an image held whole from the start
};

// Walks the directory, appending its folder records (the root first) and file records to
// index; index.directory and headerSize are left to the caller. Never reads past the end of
// the directory; nesting is walked with an explicit stack, however deep. The walk stops, with
// tooLarge set, once the listing's text would pass limits.listingBytes, or the records their
// limits; the folders' own names, which folders that hold no file add to the directory all
// the same, are held to limits.listingBytes as well.
TWalkResult WalkDirectory(bool bigEndian, TDirectoryImage& image, int32_t headerSize, const TWalkLimits& limits,
                          TArchiveIndex& index);

// The listing lines of every entry of the index, appended in directory order.
void AppendListing(const TArchiveIndex& index, TStringList& listing);

// The walk of a directory held whole, into listing lines; for the tests and fuzz targets of
// the walk.
TWalkResult WalkDirectory(bool bigEndian, const TArrayOfByte& directory, int32_t headerSize, TStringList& listing,
                          const TWalkLimits& limits = {});
