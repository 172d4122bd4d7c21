// Rollback journals written by hand, independently of the engine's encoder, for tests of
// recovery. Layouts 2 and on seal with a CRC-32 (zlib's), layout 1, which earlier versions
// wrote, with a SHA-1; layout 3 adds STATE records, 4 PLAN records, 5 DATA records.
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
    // A DATA record: a new stream parked for a later PLAN. Returns where its bytes lie.
    int64_t Data(const TArrayOfByte& stream);
    // A PLAN record. In layout 4 every stream's bytes follow its entry; from layout 5 on,
    // a stream parked at a nonzero position is named by it instead.
    struct PlanMove {
        int64_t from;
        int64_t to;
        int64_t length;
    };
    struct PlanStream {
        int64_t position;
        TArrayOfByte bytes;
        int64_t parkedAt = 0;
    };
    void Plan(int64_t finalSize, int64_t pieceLength, const std::vector<PlanMove>& moves,
              const std::vector<PlanStream>& streams, const TArrayOfByte& head);
    // A seal over everything so far.
    void Seal();
    // The bytes as an update writes them until the archive may change: beginning with
    // "VPAK-NEW" in place of "VPAK-JNL" (the seals are taken over "VPAK-JNL" either way).
    TArrayOfByte NeverActedOn() const;
    size_t SealLength() const { return layout == 1 ? 28 : 12; }
};
