// Rollback journals written by hand, independently of the engine's encoder, for tests of
// recovery. Layouts 3 and 2 seal with a CRC-32 (zlib's), layout 1, which earlier versions
// wrote, with a SHA-1; layout 3 adds STATE records.
#pragma once

#include <cstdint>
#include <vector>

#include "support/bytes.h"
#include "support/host_entries.h"

struct HandJournal {
    TArrayOfByte bytes;
    uint32_t layout;

    HandJournal(const host::FileIdentity& identity, int64_t oldSize, uint32_t layoutVersion = 2);

    void PutUint(uint64_t value, int width);
    void PutText(const char* text, size_t n);
    // A record of bytes saved from offset.
    void Save(int64_t offset, const TArrayOfByte& saved);
    // A STATE record: the sizes before and after a pass, and at some positions below both
    // the bytes before and after it. An unknown state holds no samples.
    struct Sample {
        int64_t position;
        uint8_t oldByte;
        uint8_t newByte;
    };
    void State(int64_t oldSize, int64_t newSize, const std::vector<Sample>& samples);
    void UnknownState();
    // A seal over everything so far.
    void Seal();
    size_t SealLength() const { return layout == 1 ? 28 : 12; }
};
