#include "engine/updating/internal/journal_format.h"

#include <algorithm>
#include <cstring>

#include "engine/format/internal/archive_format.h"
#include "engine/reading/internal/stream_bytes.h"
#include "support/bytes.h"
#include "support/crc32.h"
#include "support/host_file.h"
#include "support/sha1.h"
#include "support/splice.h"

namespace {

static_assert(kSha1Layout < kCrcLayout && kCrcLayout < kStateLayout && kStateLayout < kForwardLayout &&
                  kForwardLayout < kParkingLayout,
              "every later layout reads the earlier ones");
constexpr char kRecordTag[4] = {'S', 'A', 'V', 'E'};
constexpr char kSealTag[4] = {'S', 'E', 'A', 'L'};
constexpr char kDataTag[4] = {'D', 'A', 'T', 'A'};
constexpr char kPlanTag[4] = {'P', 'L', 'A', 'N'};
constexpr int64_t kTagLength = 8;  // the tag and 4 zero bytes
// The PLAN record.
constexpr int64_t kPlanFieldsLength = 40;  // final size, piece length, move count, stream count, head length
constexpr int64_t kMoveLength = 24;        // from, to, length
constexpr int64_t kStreamHeadLength = 24;  // position, length, parked at
constexpr int64_t kInRecordStreamHeadLength = 16;  // position, length: journal version 4
constexpr int64_t kInRecord = 0;           // "parked at" of a stream whose bytes follow

bool DecodeHeader(const uint8_t* bytes, TJournalHeader& header) {
    if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0 && std::memcmp(bytes, kFreshMagic, sizeof kFreshMagic) != 0)
        return false;
    header.version = static_cast<uint32_t>(GetLittleEndian(bytes + 8, 4));
    if (header.version < kSha1Layout || header.version > kLayoutVersion) return false;
    if (GetLittleEndian(bytes + 12, 4) != kHeaderLength) return false;
    header.archive = {GetLittleEndian(bytes + 16, 8), GetLittleEndian(bytes + 24, 8)};
    header.oldSize = static_cast<int64_t>(GetLittleEndian(bytes + 32, 8));
    // Every record must lie inside the old size: no archive is larger than the format allows.
    return header.oldSize >= 0 && header.oldSize <= kMaxArchiveSize;
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

// How a PLAN record holds its new streams: each in the record (journal version 4), or each
// in the record or parked in front of it.
enum class TPlanStreams {
    InRecord,
    InRecordOrParked,
};

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

// Reads the PLAN record from the journal's position on, just behind its 8-byte tag, into pass
// (the bytes held by it, or parked in journal, which must stay open while pass is used),
// each byte read given to digest; false when it is cut short or describes a pass no
// archive can take.
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

// Feeds length bytes of the journal from its current position to the digest.
bool DigestJournalBytes(HostFile& journal, int64_t length, TSealSum& digest, std::vector<uint8_t>& buffer) {
    while (length > 0) {
        const int64_t piece = std::min<int64_t>(length, static_cast<int64_t>(buffer.size()));
        if (journal.Read(buffer.data(), piece) != piece) return false;
        digest.Update(buffer.data(), static_cast<size_t>(piece));
        length -= piece;
    }
    return true;
}

// Reads one record's head and its bytes into the digest; false when it is cut short or
// describes a range outside the archive's old size.
bool ScanRecord(HostFile& journal, const uint8_t* tag, int64_t journalSize, int64_t oldSize, TSealSum& digest,
                std::vector<uint8_t>& buffer, TSavedRange& range) {
    uint8_t fields[kRecordHeadLength - kTagLength];
    if (journal.Read(fields, sizeof fields) != static_cast<int64_t>(sizeof fields)) return false;
    range.offset = static_cast<int64_t>(GetLittleEndian(fields, 8));
    range.length = static_cast<int64_t>(GetLittleEndian(fields + 8, 8));
    range.journalPosition = journal.Position();
    if (range.offset < 0 || range.length <= 0) return false;
    if (range.offset > oldSize || range.length > oldSize - range.offset) return false;
    if (range.length > journalSize - range.journalPosition) return false;
    digest.Update(tag, kTagLength);
    digest.Update(fields, sizeof fields);
    return DigestJournalBytes(journal, range.length, digest, buffer);
}

// Reads a DATA record's length and its bytes into the digest, leaving the journal behind it;
// false when it is cut short.
bool ScanData(HostFile& journal, const uint8_t* tag, int64_t journalSize, TSealSum& digest,
              std::vector<uint8_t>& buffer) {
    uint8_t field[kDataHeadLength - kTagLength];
    if (journal.Read(field, sizeof field) != static_cast<int64_t>(sizeof field)) return false;
    const auto length = static_cast<int64_t>(GetLittleEndian(field, 8));
    if (length < 0 || length > journalSize - journal.Position()) return false;
    digest.Update(tag, kTagLength);
    digest.Update(field, sizeof field);
    return DigestJournalBytes(journal, length, digest, buffer);
}

// True when the record at position, where the walk stopped, is cut short by the end of the
// file: its fixed part, or the bytes its length field announces, run past the end.
bool RunsPastTheEnd(HostFile& journal, int64_t position, int64_t journalSize) {
    uint8_t head[kRecordHeadLength]{};
    journal.Seek(position);
    const int64_t got = journal.Read(head, kRecordHeadLength);
    if (got < kDataHeadLength) return true;
    const bool saved = std::memcmp(head, kRecordTag, sizeof kRecordTag) == 0;
    const bool parked = std::memcmp(head, kDataTag, sizeof kDataTag) == 0;
    if (!saved && !parked) return false;
    if (saved && got < kRecordHeadLength) return true;
    const int64_t headLength = saved ? kRecordHeadLength : kDataHeadLength;
    const auto length = static_cast<int64_t>(GetLittleEndian(head + headLength - 8, 8));
    return length > journalSize - position - headLength;
}

}  // namespace

std::array<uint8_t, kHeaderLength> EncodeHeader(const TJournalHeader& header, const char (&magic)[8]) {
    std::array<uint8_t, kHeaderLength> bytes{};
    std::memcpy(bytes.data(), magic, sizeof magic);
    PutLittleEndian(bytes.data() + 8, header.version, 4);
    PutLittleEndian(bytes.data() + 12, kHeaderLength, 4);
    PutLittleEndian(bytes.data() + 16, header.archive.device, 8);
    PutLittleEndian(bytes.data() + 24, header.archive.inode, 8);
    PutLittleEndian(bytes.data() + 32, static_cast<uint64_t>(header.oldSize), 8);
    return bytes;
}

TSealSum::TSealSum(uint32_t version) {
    if (version == kSha1Layout) sha1_ = std::make_unique<TSha1Stream>();
}

TSealSum::~TSealSum() = default;

void TSealSum::Update(const void* bytes, size_t count) {
    if (sha1_) sha1_->Update(bytes, count);
    else crc_ = Crc32(crc_, bytes, count);
}

std::vector<uint8_t> TSealSum::Value() const {
    if (sha1_) {
        const TSha1Digest digest = sha1_->Digest();
        return std::vector<uint8_t>(digest.begin(), digest.end());
    }
    std::vector<uint8_t> bytes(4);
    PutLittleEndian(bytes.data(), crc_, 4);
    return bytes;
}

int64_t TSealSum::SealLength() const {
    return kTagLength + static_cast<int64_t>(sha1_ ? sizeof(TSha1Digest) : sizeof(crc_));
}

std::array<uint8_t, kRecordHeadLength> EncodeSaveHead(int64_t offset, int64_t length) {
    std::array<uint8_t, kRecordHeadLength> head{};
    std::memcpy(head.data(), kRecordTag, sizeof kRecordTag);
    PutLittleEndian(head.data() + 8, static_cast<uint64_t>(offset), 8);
    PutLittleEndian(head.data() + 16, static_cast<uint64_t>(length), 8);
    return head;
}

std::array<uint8_t, kDataHeadLength> EncodeDataHead(int64_t length) {
    std::array<uint8_t, kDataHeadLength> head{};
    std::memcpy(head.data(), kDataTag, sizeof kDataTag);
    PutLittleEndian(head.data() + 8, static_cast<uint64_t>(length), 8);
    return head;
}

std::vector<uint8_t> EncodeSeal(const TSealSum& digest) {
    std::vector<uint8_t> seal(static_cast<size_t>(kTagLength));
    std::memcpy(seal.data(), kSealTag, sizeof kSealTag);
    const std::vector<uint8_t> sum = digest.Value();
    seal.insert(seal.end(), sum.begin(), sum.end());
    return seal;
}

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

// Walks the journal and keeps the records that a valid seal covers.
TJournalScan ScanJournal(HostFile& journal) {
    TJournalScan scan;
    const int64_t journalSize = journal.Size();
    uint8_t headerBytes[kHeaderLength];
    journal.Seek(0);
    if (journal.Read(headerBytes, kHeaderLength) != kHeaderLength) {
        scan.end = TScanEnd::CutShort;
        return scan;
    }
    if (!DecodeHeader(headerBytes, scan.header)) {
        scan.end = TScanEnd::Damaged;
        scan.newerLayout = std::memcmp(headerBytes, kMagic, sizeof kMagic) == 0 && scan.header.version > kLayoutVersion;
        return scan;
    }
    scan.headerValid = true;
    // The seals cover the header as it reads once the journal was acted on.
    std::memcpy(headerBytes, kMagic, sizeof kMagic);
    scan.stoppedAt = kHeaderLength;

    TSealSum digest(scan.header.version);
    digest.Update(headerBytes, kHeaderLength);
    std::vector<uint8_t> buffer(kJournalCopyBlock);
    std::vector<TSavedRange> unsealed;
    std::optional<TJournalState> unsealedState;
    std::unique_ptr<TForwardPass> unsealedPlan;
    const TByteSink digestBytes = [&](const void* bytes, size_t count) { digest.Update(bytes, count); };
    // Whatever stops the walk before a seal: bytes that no record begins with, or a record
    // that does not read. One that the end of the file cuts short is what a killed update
    // leaves; the walk tells that apart below.
    int64_t lastTag = kHeaderLength;
    bool badSeal = false;
    while (!scan.forward) {
        scan.end = TScanEnd::Damaged;
        uint8_t tag[kTagLength];
        lastTag = journal.Position();
        const int64_t tagRead = journal.Read(tag, kTagLength);
        if (tagRead == 0) scan.end = TScanEnd::AtEnd;
        if (tagRead != kTagLength) {
            if (tagRead > 0) scan.end = TScanEnd::CutShort;
            break;
        }
        if (std::memcmp(tag, kRecordTag, sizeof kRecordTag) == 0) {
            TSavedRange range;
            if (!ScanRecord(journal, tag, journalSize, scan.header.oldSize, digest, buffer, range)) break;
            unsealed.push_back(range);
            continue;
        }
        if (scan.header.version >= kStateLayout && std::memcmp(tag, kStateTag, sizeof kStateTag) == 0) {
            TJournalState state;
            std::vector<uint8_t> body;
            if (!ReadState(journal, journalSize, state, body)) break;
            digest.Update(tag, kTagLength);
            digest.Update(body.data(), body.size());
            unsealedState = std::move(state);
            continue;
        }
        if (scan.header.version >= kParkingLayout && std::memcmp(tag, kDataTag, sizeof kDataTag) == 0) {
            if (!ScanData(journal, tag, journalSize, digest, buffer)) break;
            continue;
        }
        if (scan.header.version >= kForwardLayout && std::memcmp(tag, kPlanTag, sizeof kPlanTag) == 0) {
            auto plan = std::make_unique<TForwardPass>();
            digest.Update(tag, kTagLength);
            const TPlanStreams layout =
                scan.header.version >= kParkingLayout ? TPlanStreams::InRecordOrParked : TPlanStreams::InRecord;
            if (!ReadPlan(journal, journalSize, layout, *plan, digestBytes)) break;
            unsealedPlan = std::move(plan);
            continue;
        }
        if (std::memcmp(tag, kSealTag, sizeof kSealTag) != 0) break;
        std::vector<uint8_t> stored(static_cast<size_t>(digest.SealLength() - kTagLength));
        if (journal.Read(stored.data(), static_cast<int64_t>(stored.size())) != static_cast<int64_t>(stored.size())) {
            scan.end = TScanEnd::CutShort;
            break;
        }
        if (stored != digest.Value()) {
            badSeal = true;
            break;
        }
        digest.Update(tag, kTagLength);
        digest.Update(stored.data(), stored.size());
        scan.sealed.insert(scan.sealed.end(), unsealed.begin(), unsealed.end());
        unsealed.clear();
        if (unsealedState) scan.state = std::move(unsealedState);
        unsealedState.reset();
        ++scan.seals;
        // Nothing is sealed behind a pass that rolls forward: its slots follow.
        if (unsealedPlan) scan.slotsStart = SlotsStart(journal.Position());
        scan.forward = std::move(unsealedPlan);
        scan.stoppedAt = journal.Position();
    }
    if (scan.forward) scan.end = TScanEnd::AtEnd;
    // A record whose length runs past the end of the file, or that the end cuts short.
    if (scan.end == TScanEnd::Damaged && !scan.forward && !badSeal &&
        (journal.Position() >= journalSize || RunsPastTheEnd(journal, lastTag, journalSize)))
        scan.end = TScanEnd::CutShort;
    return scan;
}

TJournalMark ReadMark(HostFile& journal) {
    uint8_t magic[sizeof kMagic]{};
    journal.Seek(0);
    const auto got = static_cast<size_t>(journal.Read(magic, sizeof magic));
    // A header whose write never reached the disk reads as nothing, or as zeros.
    if (std::all_of(magic, magic + got, [](uint8_t byte) { return byte == 0; })) return TJournalMark::NeverActedOn;
    if (std::memcmp(magic, kFreshMagic, got) == 0) return TJournalMark::NeverActedOn;
    if (got == sizeof kMagic && std::memcmp(magic, kMagic, sizeof kMagic) == 0) return TJournalMark::ActedOn;
    return TJournalMark::Unknown;
}
