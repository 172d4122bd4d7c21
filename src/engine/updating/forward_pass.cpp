#include "engine/updating/internal/forward_pass.h"

#include <algorithm>
#include <cstring>

#include "engine/format/internal/archive_format.h"
#include "engine/updating/internal/update_journal.h"
#include "engine/updating/internal/update_pass.h"
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

constexpr int64_t kTagLength = 8;         // the tag and 4 zero bytes
constexpr int64_t kPlanFieldsLength = 40;  // final size, piece length, move count, stream count, head length
constexpr int64_t kMoveLength = 24;        // from, to, length
constexpr int64_t kStreamHeadLength = 24;  // position, length, parked at
constexpr int64_t kInRecordStreamHeadLength = 16;  // position, length: journal version 4
constexpr int64_t kInRecord = 0;           // "parked at" of a stream whose bytes follow
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

void PutField(uint8_t*& at, int64_t value) {
    PutLittleEndian(at, static_cast<uint64_t>(value), 8);
    at += 8;
}

int64_t TakeField(const uint8_t*& at) {
    const auto value = static_cast<int64_t>(GetLittleEndian(at, 8));
    at += 8;
    return value;
}

// Reads count bytes of the journal into bytes and the digest; false when it ends before.
bool ReadDigested(HostFile& journal, void* bytes, int64_t count, const TByteSink& digest) {
    if (journal.Read(bytes, count) != count) return false;
    digest(bytes, static_cast<size_t>(count));
    return true;
}

bool InsideArchive(int64_t position, int64_t length, int64_t size) {
    return position >= 0 && length >= 0 && position <= size && length <= size - position;
}

// The moves must be what MoveRanges takes: sources ascending, destinations ascending without
// overlapping each other, all inside the archive before and after.
bool MovesFit(const std::vector<TRangeMove>& moves, int64_t finalSize) {
    int64_t lastFrom = 0;
    int64_t lastEnd = 0;
    for (const TRangeMove& move : moves) {
        if (!InsideArchive(move.from, move.length, kMaxArchiveSize)) return false;
        if (!InsideArchive(move.to, move.length, finalSize)) return false;
        if (move.from < lastFrom || move.to < lastEnd) return false;
        lastFrom = move.from;
        lastEnd = move.to + move.length;
    }
    return true;
}

bool ReadMoves(HostFile& journal, int64_t count, int64_t finalSize, TForwardPass& pass, const TByteSink& digest) {
    std::vector<uint8_t> bytes(static_cast<size_t>(count * kMoveLength));
    if (!ReadDigested(journal, bytes.data(), static_cast<int64_t>(bytes.size()), digest)) return false;
    const uint8_t* at = bytes.data();
    for (int64_t i = 0; i < count; ++i) {
        TRangeMove move;
        move.from = TakeField(at);
        move.to = TakeField(at);
        move.length = TakeField(at);
        pass.moves.push_back(move);
    }
    return MovesFit(pass.moves, finalSize);
}

// A parked stream lies whole in the journal in front of the record.
bool ParkedInFront(int64_t parkedAt, int64_t length, int64_t recordStart) {
    return parkedAt > 0 && parkedAt <= recordStart && length <= recordStart - parkedAt;
}

// recordStart: where the record's tag lies in the journal.
bool ReadStreams(HostFile& journal, int64_t journalSize, TPlanStreams layout, int64_t recordStart, int64_t count,
                 TForwardPass& pass, const TByteSink& digest) {
    const int64_t headLength = layout == TPlanStreams::InRecord ? kInRecordStreamHeadLength : kStreamHeadLength;
    for (int64_t i = 0; i < count; ++i) {
        uint8_t head[kStreamHeadLength];
        if (!ReadDigested(journal, head, headLength, digest)) return false;
        const uint8_t* at = head;
        const int64_t position = TakeField(at);
        const int64_t length = TakeField(at);
        const int64_t parkedAt = layout == TPlanStreams::InRecord ? kInRecord : TakeField(at);
        if (!InsideArchive(position, length, pass.finalSize)) return false;
        if (parkedAt != kInRecord) {
            if (!ParkedInFront(parkedAt, length, recordStart)) return false;
            pass.streams.emplace_back(position, TStreamBytes::Parked(journal, parkedAt, length));
            continue;
        }
        if (length > journalSize - journal.Position()) return false;
        TArrayOfByte& stream = pass.held.emplace_back(static_cast<size_t>(length));
        if (!ReadDigested(journal, stream.data(), length, digest)) return false;
        pass.streams.emplace_back(position, TStreamBytes::Held(stream));
    }
    return true;
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

void EncodePlan(const TForwardPass& pass, const TByteSink& put) {
    std::vector<uint8_t> fields(static_cast<size_t>(kTagLength + kPlanFieldsLength + kMoveLength * pass.moves.size()));
    std::memcpy(fields.data(), kPlanTag, sizeof kPlanTag);
    uint8_t* at = fields.data() + kTagLength;
    PutField(at, pass.finalSize);
    PutField(at, pass.pieceLength);
    PutField(at, static_cast<int64_t>(pass.moves.size()));
    PutField(at, static_cast<int64_t>(pass.streams.size()));
    PutField(at, static_cast<int64_t>(pass.head->size()));
    for (const TRangeMove& move : pass.moves) {
        PutField(at, move.from);
        PutField(at, move.to);
        PutField(at, move.length);
    }
    put(fields.data(), fields.size());
    for (const auto& [position, stream] : pass.streams) {
        uint8_t head[kStreamHeadLength];
        uint8_t* field = head;
        PutField(field, position);
        PutField(field, stream.Length());
        PutField(field, stream.IsParked() ? stream.Offset() : kInRecord);
        put(head, sizeof head);
        if (!stream.IsParked()) put(stream.HeldBytes().data(), stream.HeldBytes().size());
    }
    put(pass.head->data(), pass.head->size());
}

bool ReadPlan(HostFile& journal, int64_t journalSize, TPlanStreams layout, TForwardPass& pass,
              const TByteSink& digest) {
    const int64_t recordStart = journal.Position() - kTagLength;
    uint8_t fields[kPlanFieldsLength];
    if (!ReadDigested(journal, fields, kPlanFieldsLength, digest)) return false;
    const uint8_t* at = fields;
    pass.finalSize = TakeField(at);
    pass.pieceLength = TakeField(at);
    const int64_t moveCount = TakeField(at);
    const int64_t streamCount = TakeField(at);
    const int64_t headLength = TakeField(at);
    const int64_t left = journalSize - journal.Position();
    if (pass.finalSize < 0 || pass.finalSize > kMaxArchiveSize) return false;
    if (pass.pieceLength <= 0 || pass.pieceLength > kJournalBudget) return false;
    if (moveCount < 0 || moveCount > left / kMoveLength) return false;
    if (streamCount < 0 || streamCount > left / kInRecordStreamHeadLength) return false;
    if (headLength < 0 || headLength > kMaxHeaderSize || headLength > pass.finalSize) return false;
    if (!ReadMoves(journal, moveCount, pass.finalSize, pass, digest)) return false;
    if (!ReadStreams(journal, journalSize, layout, recordStart, streamCount, pass, digest)) return false;
    if (headLength > journalSize - journal.Position()) return false;
    TArrayOfByte& head = pass.held.emplace_back(static_cast<size_t>(headLength));
    if (!ReadDigested(journal, head.data(), headLength, digest)) return false;
    pass.head = &head;
    return true;
}

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
