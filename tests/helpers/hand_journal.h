// Rollback journals written by hand, independently of the engine's encoder, for tests of
// recovery. Layout 2 seals with a CRC-32 (zlib's), layout 1, which earlier versions wrote,
// with a SHA-1.
#pragma once

#include <cstdint>

#include "support/bytes.h"
#include "support/host.h"

struct HandJournal {
    TArrayOfByte bytes;
    uint32_t layout;

    HandJournal(const host::FileIdentity& identity, int64_t oldSize, uint32_t layoutVersion = 2);

    void PutUint(uint64_t value, int width);
    void PutText(const char* text, size_t n);
    // A record of bytes saved from offset.
    void Save(int64_t offset, const TArrayOfByte& saved);
    // A seal over everything so far.
    void Seal();
    size_t SealLength() const { return layout == 1 ? 28 : 12; }
};
