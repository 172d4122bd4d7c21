// One pass of an in-place update of a PC archive, as both ways of replacing use it.
//
// The runs of the data area between the replaced streams move once to their new places, the
// new streams land between them, the header with the compressed directory is written at the
// front, and the file is cut where the data area now ends. No byte of the archive is written
// twice, every byte that is written gets its final value, and every run is read before
// anything lands on it. So at any moment of a pass each byte below the smaller of the old and
// the new size holds its old value or its final one, and the size lies between the two: the
// journal's STATE record relies on this.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/updating/internal/journal_state.h"
#include "engine/reading/internal/stream_bytes.h"
#include "engine/updating/internal/update_journal.h"
#include "support/bytes.h"
#include "support/splice.h"

class HostFile;

// One stream of the data area to be replaced, where it stands on disk.
struct TStreamReplacement {
    int64_t offset = 0;                    // its DataOffset
    int64_t oldLength = 0;  // its PackedSize on disk
    TStreamBytes stream;    // the new stream
};

// What one pass does to the archive.
struct TPassPlan {
    int64_t headLength = 0;                                        // header and compressed directory
    TArrayOfByte head;                                             // their bytes, once known
    std::vector<TRangeMove> moves;                                 // in ascending order
    TPlacedStreams streams;
    int64_t finalSize = 0;

    // The bytes of the archive, size bytes long as it stands, that the pass overwrites or
    // cuts off, merged and in ascending order.
    std::vector<TByteRange> ChangedRanges(int64_t size) const;

    // Where the byte the pass leaves at a position below finalSize comes from. The head's
    // bytes must be known.
    TByteSource SourceOf(int64_t position) const;

    // What the pass leaves, for the journal's state; it refers to this plan.
    TPassOutcome Outcome() const;
};

// The pass that puts the replacements (in ascending order of offset, no two sharing bytes)
// into an archive whose header takes oldHeadLength bytes and whose data area dataAreaSize,
// behind a new header of headLength bytes. The head's bytes are the caller's to fill in.
TPassPlan PlanPass(int64_t oldHeadLength, int64_t dataAreaSize, int64_t headLength,
                   const std::vector<TStreamReplacement>& replacements);

// Whether more passes of the same update may follow this one. Only the last pass can roll
// forward: after it the update is complete.
enum class TPassRole {
    Intermediate,
    Last,
};

// Has the journal save what the pass changes, with the pass's state, then applies it. Each
// phase (saving, moving, writing) is reported to the operation's callback.
// Between the first move and the cut the archive on disk is neither the old nor the new one;
// nothing here returns early, only a raised error can stop it, and the journal then takes
// the archive back. A last pass that changes more than the journal may save is sealed in the
// journal whole and rolls forward instead: an error then leaves it to the next open to finish.
void RunPass(HostFile& archive, const TPassPlan& plan, TArchiveUpdate& update, TPassRole role);

// Reports the first phase of writing a pass, for a caller that starts saving early.
void ReportSaving();
