// A pass of an in-place update that rolls forward: for a pass that moves more of the archive
// than the journal may save whole (see update_journal.h).
//
// The journal first receives the whole pass, sealed: the moves, the new streams, the new
// header and the final size (the PLAN record, journal_format.h), with the pass's STATE. Then
// the moved bytes go in pieces of at most the pass's piece length, in an order in which no
// piece's source is overwritten before the piece is moved; a piece may gather several short
// runs, so that the moves between many replaced streams do not cost a flush each. Before a
// piece is written, its source bytes are copied into one of two slots behind the sealed group
// and flushed, and only then the slot's head, which makes it valid, written and flushed; after
// the piece, the archive is flushed. So the valid slot of the highest piece tells how far the
// pass came: the pieces before it are on the disk, it may be half written (its bytes are in
// the slot), and the ones after it are untouched. A recovery writes that piece again from its
// slot and finishes the pass from there, the same way. Each moved byte is read once and
// written twice (slot and archive), the copies made in the kernel. A slot's head never
// crosses a disk sector, so it lands whole or not at all.
//
// The journal's format is described in vpak-journal(5).
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "engine/reading/internal/stream_bytes.h"
#include "support/bytes.h"
#include "support/splice.h"

class HostFile;

// What a forward pass does to the archive.
struct TForwardPass {
    int64_t finalSize = 0;
    int64_t pieceLength = 0;
    std::vector<TRangeMove> moves;                                 // as the pass plans them
    TPlacedStreams streams;
    const TArrayOfByte* head = nullptr;                            // header and directory
    std::deque<TArrayOfByte> held;  // the bytes of streams and head, when read from a journal
};

// The first slot's place for a sealed group that ends at sealEnd, and the journal's length
// with both slots.
int64_t SlotsStart(int64_t sealEnd);
int64_t JournalEndWithSlots(int64_t slotsStart, int64_t pieceLength);

// What moves at once: runs of bytes, all read before any is written, pieceLength bytes in
// all but in the last piece.
struct TPiece {
    std::vector<TRangeMove> runs;
    int64_t length = 0;
};

// The pieces of the moves, in the order they are moved.
std::vector<TPiece> PiecesOf(const std::vector<TRangeMove>& moves, int64_t pieceLength);

// Where a forward pass starts moving pieces: at the first, or, for an interrupted pass,
// where the journal's slots say it came.
enum class TStart {
    AtTheFirstPiece,
    FromTheSlots,
};

// Moves the pieces from the start on, saving each in its slot first, then writes the new
// streams and the header, cuts the archive at its final size and flushes it.
void RollForward(HostFile& archive, HostFile& journal, const TForwardPass& pass, int64_t slotsStart, TStart start);

// The last writes of a pass, once its runs have moved: the new streams at their positions,
// the header with the directory at the front, and the cut at the final size. An ordinary
// pass (update_pass.h) ends with them too.
void WriteStreamsAndHead(HostFile& archive, const TPlacedStreams& streams, const TArrayOfByte& head,
                         int64_t finalSize);
