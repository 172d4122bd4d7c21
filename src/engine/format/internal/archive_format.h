// The .PAK archive: an 8-byte header (UnpackedDirSize, HeaderSize), the zlib-compressed
// directory, then one zlib stream per file. Integers are 32-bit signed, little-endian in PC
// archives and big-endian in Xbox 360 archives.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>

#include "support/bytes.h"

struct Veldane_PAK_HeaderType {
    int32_t UnpackedDirSize = 0;  // host order
    int32_t HeaderSize = 0;       // host order; also where the data area begins
    TArrayOfByte PackedDir;       // HeaderSize - 8 bytes
};

// The bigEndian argument for PC archives. Updating in place serves only them, so every
// integer it reads or writes is in this order.
inline constexpr bool kPcByteOrder = false;

inline constexpr int32_t kFixedHeaderSize = 8;           // the two header integers
inline constexpr int32_t kMinHeaderSize = 11;            // HeaderSize must exceed 10
inline constexpr int32_t kMaxHeaderSize = 10485760;      // 10 MiB
inline constexpr int32_t kMaxNameLength = 65000;
inline constexpr int32_t kFileRecordIntsSize = 12;       // DataOffset, PackedSize, UnpackedSize
inline constexpr int64_t kMaxArchiveSize = 0x7FFFFFFF;   // offsets are signed 32-bit

// Listing lines: five 8-digit hexadecimal fields, each followed by "*", then the path.
inline constexpr int32_t kPrefixLength = 45;
inline constexpr int32_t kSuffixLength = 0;
inline constexpr int32_t kHexFieldWidth = 8;
inline constexpr int32_t kEntryPosColumn = 0;            // zero-based start of each field
inline constexpr int32_t kDataOffsetColumn = 9;
inline constexpr int32_t kAbsOffsetColumn = 18;
inline constexpr int32_t kPackedSizeColumn = 27;
inline constexpr int32_t kUnpackedSizeColumn = 36;
