// The bytes of a new stream that a pass of an in-place update writes: held in memory, or
// parked in a file (the update's journal), so that an update bringing more new streams than
// memory should hold still makes one pass.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "support/bytes.h"

class HostFile;

class TStreamBytes {
public:
    TStreamBytes() = default;
    // Bytes held in memory, which must outlive this.
    static TStreamBytes Held(const TArrayOfByte& bytes);
    // length bytes of file from offset on; the file must stay open while this is used.
    static TStreamBytes Parked(HostFile& file, int64_t offset, int64_t length);

    int64_t Length() const { return length_; }
    bool IsParked() const { return file_ != nullptr; }
    // Where the bytes lie in their file; only for parked bytes.
    int64_t Offset() const { return offset_; }
    // The bytes in memory; only for held bytes.
    const TArrayOfByte& HeldBytes() const { return *held_; }

    // One byte, read from the file when parked.
    uint8_t At(int64_t index) const;
    // Writes the bytes at the target's position, copied in the kernel when parked.
    void WriteInto(HostFile& target) const;

private:
    const TArrayOfByte* held_ = nullptr;
    HostFile* file_ = nullptr;
    int64_t offset_ = 0;
    int64_t length_ = 0;
};

// New streams by the archive position each lands on, ascending.
using TPlacedStreams = std::vector<std::pair<int64_t, TStreamBytes>>;
