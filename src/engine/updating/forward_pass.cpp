#include "engine/updating/internal/forward_pass.h"

#include <algorithm>
#include <cstring>

#include "support/crc32.h"
#include "support/host_file.h"
#include "support/progress.h"

namespace {

// Where a forward pass starts or goes on: the first piece to write and, when the journal's
// slot holds it, its saved source bytes.
struct TResumePoint {
    size_t piece = 0;
    bool saved = false;  // the piece's source bytes are in its slot
};

constexpr char kSlotTag[4] = {'S', 'L', 'O', 'T'};
constexpr int64_t kSlotHeadLength = 32;  // tag, piece number, length, CRC-32, 4 zero bytes
constexpr int64_t kSlotAlignment = 4096;

// Written bytes are handed to the disk in chunks of this size as they are written, so that
// the disk works while the rest of a piece is copied and the flush finds little left.
constexpr int64_t kWritebackChunk = int64_t{4} << 20;

int64_t AlignUp(int64_t value) { return (value + kSlotAlignment - 1) / kSlotAlignment * kSlotAlignment; }

int64_t SlotPosition(int64_t slotsStart, int64_t pieceLength, size_t piece) {
    return slotsStart + static_cast<int64_t>(piece % 2) * AlignUp(kSlotHeadLength + pieceLength);
}

// Copies the piece's runs, in the kernel, into one span of the other file from position on;
// or, with toRuns, the span back into the runs' places. Each chunk is handed to the disk as
// soon as it is copied.
void CopyRuns(HostFile& target, HostFile& source, const TPiece& piece, int64_t position, bool toRuns) {
    int64_t at = position;
    for (const TRangeMove& run : piece.runs) {
        for (int64_t done = 0; done < run.length;) {
            const int64_t chunk = std::min(kWritebackChunk, run.length - done);
            const int64_t place = toRuns ? run.to + done : at + done;
            target.Seek(place);
            target.CopyFrom(source, toRuns ? at + done : run.from + done, chunk);
            target.StartWriteback(place, chunk);
            done += chunk;
        }
        at += run.length;
    }
}

// The slot's bytes first, flushed; then its head, which makes it valid, flushed. A head is
// one sector, which lands whole or not at all.
void WriteSlot(HostFile& journal, HostFile& archive, int64_t slotsStart, int64_t pieceLength, size_t piece,
               const TPiece& runs) {
    const int64_t position = SlotPosition(slotsStart, pieceLength, piece);
    CopyRuns(journal, archive, runs, position + kSlotHeadLength, false);
    journal.Flush();
    uint8_t head[kSlotHeadLength]{};
    std::memcpy(head, kSlotTag, sizeof kSlotTag);
    PutLittleEndian(head + 8, piece, 8);
    PutLittleEndian(head + 16, static_cast<uint64_t>(runs.length), 8);
    PutLittleEndian(head + 24, Crc32(0, head + 8, 16), 4);
    journal.Seek(position);
    journal.Write(head, kSlotHeadLength);
    journal.Flush();
}

// The piece a slot holds, when it is whole and belongs there.
std::optional<TResumePoint> ReadSlot(HostFile& journal, int64_t position, size_t region,
                                     const std::vector<TPiece>& pieces) {
    uint8_t head[kSlotHeadLength];
    journal.Seek(position);
    if (journal.Read(head, kSlotHeadLength) != kSlotHeadLength) return std::nullopt;
    if (std::memcmp(head, kSlotTag, sizeof kSlotTag) != 0) return std::nullopt;
    const uint64_t piece = GetLittleEndian(head + 8, 8);
    const auto length = static_cast<int64_t>(GetLittleEndian(head + 16, 8));
    if (piece >= pieces.size() || piece % 2 != region) return std::nullopt;
    if (length != pieces[piece].length) return std::nullopt;
    if (Crc32(0, head + 8, 16) != GetLittleEndian(head + 24, 4)) return std::nullopt;
    if (journal.Size() < position + kSlotHeadLength + length) return std::nullopt;
    return TResumePoint{static_cast<size_t>(piece), true};
}

// Fills pieces with the runs of the moves, taken in the order they are moved: a run too long
// for the room the current piece has left is split, from its front or, for a run moved back
// to front, from its back.
class TPieceFiller {
public:
    explicit TPieceFiller(int64_t pieceLength) : pieceLength_(pieceLength) {}

    void Take(const TRangeMove& move, bool backwards) {
        for (int64_t left = move.length; left > 0;) {
            if (pieces_.empty() || pieces_.back().length == pieceLength_) pieces_.emplace_back();
            TPiece& piece = pieces_.back();
            const int64_t length = std::min(pieceLength_ - piece.length, left);
            const int64_t offset = backwards ? left - length : move.length - left;
            piece.runs.push_back({move.from + offset, move.to + offset, length});
            piece.length += length;
            left -= length;
        }
    }

    std::vector<TPiece> Pieces() { return std::move(pieces_); }

private:
    int64_t pieceLength_;
    std::vector<TPiece> pieces_;
};

}  // namespace

int64_t SlotsStart(int64_t sealEnd) { return AlignUp(sealEnd); }

int64_t JournalEndWithSlots(int64_t slotsStart, int64_t pieceLength) {
    return SlotPosition(slotsStart, pieceLength, 1) + kSlotHeadLength + pieceLength;
}

std::vector<TPiece> PiecesOf(const std::vector<TRangeMove>& moves, int64_t pieceLength) {
    // Runs towards the start go first, front to back, then those towards the end, back to
    // front: a piece then lands only on its own sources or on sources already moved.
    TPieceFiller filler(pieceLength);
    for (const TRangeMove& move : moves)
        if (move.to < move.from) filler.Take(move, false);
    for (auto move = moves.rbegin(); move != moves.rend(); ++move)
        if (move->to > move->from) filler.Take(*move, true);
    return filler.Pieces();
}

namespace {

// Where an interrupted pass goes on, from the journal's slots.
TResumePoint FindResumePoint(HostFile& journal, const TForwardPass& pass, const std::vector<TPiece>& pieces,
                             int64_t slotsStart) {
    std::optional<TResumePoint> latest;
    for (size_t region = 0; region < 2; ++region) {
        std::optional<TResumePoint> slot =
            ReadSlot(journal, SlotPosition(slotsStart, pass.pieceLength, region), region, pieces);
        if (slot && (!latest || slot->piece > latest->piece)) latest = std::move(slot);
    }
    return latest ? *latest : TResumePoint{};
}

}  // namespace

void RollForward(HostFile& archive, HostFile& journal, const TForwardPass& pass, int64_t slotsStart, TStart start) {
    const std::vector<TPiece> pieces = PiecesOf(pass.moves, pass.pieceLength);
    const TResumePoint resume =
        start == TStart::FromTheSlots ? FindResumePoint(journal, pass, pieces, slotsStart) : TResumePoint{};
    for (size_t k = resume.piece; k < pieces.size(); ++k) {
        const TPiece& piece = pieces[k];
        if (k != resume.piece || !resume.saved) WriteSlot(journal, archive, slotsStart, pass.pieceLength, k, piece);
        CopyRuns(archive, journal, piece, SlotPosition(slotsStart, pass.pieceLength, k) + kSlotHeadLength, true);
        // The next slot overwrites the one before this: the piece must be on the disk first.
        archive.Flush();
        KeepAlive();
    }
    WriteStreamsAndHead(archive, pass.streams, *pass.head, pass.finalSize);
    archive.Flush();
}

void WriteStreamsAndHead(HostFile& archive, const TPlacedStreams& streams, const TArrayOfByte& head,
                         int64_t finalSize) {
    for (const auto& [position, stream] : streams) {
        archive.Seek(position);
        stream.WriteInto(archive);
    }
    archive.Seek(0);
    archive.Write(head.data(), static_cast<int64_t>(head.size()));
    if (archive.Size() > finalSize) {
        archive.Seek(finalSize);
        archive.Truncate();
    }
}
