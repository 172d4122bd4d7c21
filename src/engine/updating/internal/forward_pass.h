// A pass of an in-place update that rolls forward: for a pass that moves more of the archive
// than the journal may save whole (see update_journal.h).
//
// The journal first receives the whole pass, sealed: the moves, the new streams, the new
// header and the final size (the PLAN record), with the pass's STATE. Then the moved bytes go
// in pieces of at most the pass's piece length, in an order in which no piece's source is
// overwritten before the piece is moved; a piece may gather several short runs, so that the
// moves between many replaced streams do not cost a flush each. Before a piece is written,
// its source bytes are copied into one of two slots behind the sealed group and flushed, and
// only then the slot's head, which makes it valid, written and flushed; after the piece, the
// archive is flushed. So the valid slot of the highest piece tells how far the pass came: the
// pieces before it are on the disk, it may be half written (its bytes are in the slot), and
// the ones after it are untouched. A recovery writes that piece again from its slot and
// finishes the pass from there, the same way. Each moved byte is read once and written twice
// (slot and archive), the copies made in the kernel.
//
//   record   "PLAN", 4 zero bytes, final size (8), piece length (8), move count m (8),
//            stream count s (8), head length h (8), then m times: from (8), to (8),
//            length (8); then s times: position (8), length n (8), parked at p (8), and
//            when p is 0 the n bytes (else they lie at journal offset p, in a DATA record in
//            front of this one); then the h bytes of the header and its directory. Journals
//            of version 4 have no field p: the bytes always follow.
//   slot     head: "SLOT", 4 zero bytes, piece number (8), length n (8), CRC-32 of the piece
//            number and length (4), 4 zero bytes; then the n bytes. Piece k lies in slot
//            k mod 2, slot 0 at the first multiple of 4096 behind the seal, slot 1 at the
//            next multiple of 4096 behind room for the longest piece; a head never crosses
//            a disk sector, so it lands whole or not at all
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "engine/reading/internal/stream_bytes.h"
#include "support/bytes.h"
#include "support/splice.h"

class HostFile;

inline constexpr char kPlanTag[4] = {'P', 'L', 'A', 'N'};

// What a forward pass does to the archive.
struct TForwardPass {
    int64_t finalSize = 0;
    int64_t pieceLength = 0;
    std::vector<TRangeMove> moves;                                 // as the pass plans them
    TPlacedStreams streams;
    const TArrayOfByte* head = nullptr;                            // header and directory
    std::deque<TArrayOfByte> held;  // the bytes of streams and head, when read from a journal
};

// Hands bytes on to the journal, or to its seal's checksum.
using TByteSink = std::function<void(const void* bytes, size_t count)>;

// The PLAN record, tag included, piece by piece into put.
void EncodePlan(const TForwardPass& pass, const TByteSink& put);

// How a PLAN record holds its new streams: each in the record (journal version 4), or each
// in the record or parked in front of it.
enum class TPlanStreams {
    InRecord,
    InRecordOrParked,
};

// Reads the record from the journal's position on, just behind its 8-byte tag, into pass
// (the bytes held by it, or parked in journal, which must stay open while pass is used),
// each byte read given to digest; false when it is cut short or describes a pass no
// archive can take.
bool ReadPlan(HostFile& journal, int64_t journalSize, TPlanStreams layout, TForwardPass& pass,
              const TByteSink& digest);

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
