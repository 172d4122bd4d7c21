// The three integers of a file record, read from and written to a decompressed PC
// directory at the record's entry position. Updating serves only PC archives, so they are
// little-endian, the host's order.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>

#include "engine/format/internal/archive_format.h"
#include "support/bytes.h"

struct TFileRecord {
    int32_t DataOffset = 0;
    int32_t PackedSize = 0;
    int32_t UnpackedSize = 0;
};

inline constexpr int32_t kDataOffsetField = 0;
inline constexpr int32_t kPackedSizeField = 4;
inline constexpr int32_t kUnpackedSizeField = 8;

inline TFileRecord ReadRecord(const TArrayOfByte& directory, int32_t entryPos) {
    const size_t at = static_cast<size_t>(entryPos);
    return {ReadInt32At(directory, at + kDataOffsetField), ReadInt32At(directory, at + kPackedSizeField),
            ReadInt32At(directory, at + kUnpackedSizeField)};
}

inline void WriteRecord(TArrayOfByte& directory, int32_t entryPos, const TFileRecord& record) {
    const size_t at = static_cast<size_t>(entryPos);
    WriteInt32At(directory, at + kDataOffsetField, record.DataOffset);
    WriteInt32At(directory, at + kPackedSizeField, record.PackedSize);
    WriteInt32At(directory, at + kUnpackedSizeField, record.UnpackedSize);
}

inline bool RecordFitsDirectory(const TArrayOfByte& directory, int32_t entryPos) {
    return entryPos >= 0 && static_cast<int64_t>(entryPos) + kFileRecordIntsSize <= BufferLength(directory);
}
