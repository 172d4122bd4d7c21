#include "engine/updating/internal/update_journal.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

#include "engine/format/internal/archive_format.h"
#include "engine/updating/internal/forward_pass.h"
#include "engine/building/internal/staging_file.h"
#include "support/crc32.h"
#include "support/errors.h"
#include "support/host_names.h"
#include "support/progress.h"
#include "support/sha1.h"

namespace {

// A journal begins with kFreshMagic and gets kMagic once a group that lets the archive change
// (one with a state) is sealed and on the disk, before the archive changes. So a journal that
// still begins with kFreshMagic, or with nothing, was never acted on: the archive is as it
// was, and the journal can go whatever it holds. Seals are taken over kMagic. Earlier versions
// wrote kMagic from the start.
constexpr char kMagic[8] = {'V', 'P', 'A', 'K', '-', 'J', 'N', 'L'};
constexpr char kFreshMagic[8] = {'V', 'P', 'A', 'K', '-', 'N', 'E', 'W'};
// The first layout sealed with a SHA-1; it is still read, so that a journal an earlier
// version left is rolled back. The second seals with a CRC-32, which checks a tail of
// hundreds of megabytes in a fraction of the time. The third adds the STATE record, the
// fourth the PLAN record and its slots, the fifth DATA records and streams of a PLAN parked
// in them.
constexpr uint32_t kSha1Layout = 1;
constexpr uint32_t kCrcLayout = 2;
constexpr uint32_t kStateLayout = 3;
constexpr uint32_t kForwardLayout = 4;
constexpr uint32_t kParkingLayout = 5;
constexpr uint32_t kLayoutVersion = kParkingLayout;
static_assert(kSha1Layout < kCrcLayout && kCrcLayout < kStateLayout && kStateLayout < kForwardLayout &&
                  kForwardLayout < kParkingLayout,
              "every later layout reads the earlier ones");
constexpr int64_t kHeaderLength = 40;  // magic, version, header length, device, inode, old size
constexpr char kRecordTag[4] = {'S', 'A', 'V', 'E'};
constexpr char kSealTag[4] = {'S', 'E', 'A', 'L'};
constexpr char kDataTag[4] = {'D', 'A', 'T', 'A'};
constexpr int64_t kDataHeadLength = 16;     // tag, length
constexpr int64_t kTagLength = 8;           // the tag and 4 zero bytes
constexpr int64_t kRecordHeadLength = 24;   // tag, offset, length
constexpr int64_t kCopyBlock = 4194304;
// A journal holds the archive's bytes and says what to write into it: one that others may
// write could make the archive anything.
constexpr uint32_t kWritableByOthers = 0022;
// A new journal may be read by whoever may read the archive, and written by its owner alone.
constexpr uint32_t kReadableBits = 0444;
constexpr uint32_t kOwnerReadWrite = 0600;
// Pieces of the journal written but not yet known to be on the disk. Beyond this the oldest
// is waited for and dropped from the cache, so that the journal of a large tail reuses a
// few megabytes of cache instead of taking hundreds afresh.
constexpr size_t kWritebackWindow = 8;

struct TJournalHeader {
    uint32_t version = kLayoutVersion;
    host::FileIdentity archive;
    int64_t oldSize = 0;
};

// The checksum a seal holds over every journal byte in front of it.
class TSealSum {
public:
    explicit TSealSum(uint32_t version) {
        if (version == kSha1Layout) sha1_ = std::make_unique<TSha1Stream>();
    }

    void Update(const void* bytes, size_t count) {
        if (sha1_) sha1_->Update(bytes, count);
        else crc_ = Crc32(crc_, bytes, count);
    }

    // The checksum as the seal stores it: the digest, or the CRC little-endian.
    std::vector<uint8_t> Value() const {
        if (sha1_) {
            const TSha1Digest digest = sha1_->Digest();
            return std::vector<uint8_t>(digest.begin(), digest.end());
        }
        std::vector<uint8_t> bytes(4);
        PutLittleEndian(bytes.data(), crc_, 4);
        return bytes;
    }

    int64_t SealLength() const {
        return kTagLength + static_cast<int64_t>(sha1_ ? sizeof(TSha1Digest) : sizeof(crc_));
    }

private:
    std::unique_ptr<TSha1Stream> sha1_;
    uint32_t crc_ = 0;
};

std::array<uint8_t, kHeaderLength> EncodeHeader(const TJournalHeader& header, const char (&magic)[8] = kMagic) {
    std::array<uint8_t, kHeaderLength> bytes{};
    std::memcpy(bytes.data(), magic, sizeof magic);
    PutLittleEndian(bytes.data() + 8, header.version, 4);
    PutLittleEndian(bytes.data() + 12, kHeaderLength, 4);
    PutLittleEndian(bytes.data() + 16, header.archive.device, 8);
    PutLittleEndian(bytes.data() + 24, header.archive.inode, 8);
    PutLittleEndian(bytes.data() + 32, static_cast<uint64_t>(header.oldSize), 8);
    return bytes;
}

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

// One saved range: where it belongs in the archive and where its bytes are in the journal.
struct TSavedRange {
    int64_t offset = 0;
    int64_t length = 0;
    int64_t journalPosition = 0;
};

// How the walk of a journal ended.
enum class TScanEnd {
    AtEnd,     // at the end of the file, or at the slots of a pass that rolls forward
    CutShort,  // inside a record that the end of the file cuts short, as a killed update leaves it
    Damaged,   // at a seal that does not match, or at bytes that are no record
};

// What a journal holds, as far as it is sealed.
struct TJournalScan {
    bool headerValid = false;
    bool newerLayout = false;  // the header is a later version's, which this one cannot read
    TJournalHeader header;
    TScanEnd end = TScanEnd::AtEnd;
    int64_t stoppedAt = 0;  // where the walk ended: the first byte no valid seal covers
    int seals = 0;  // a seal without records still records the old size
    std::vector<TSavedRange> sealed;
    std::optional<TJournalState> state;  // the last sealed one
    std::unique_ptr<TForwardPass> forward;  // a sealed pass to finish, the last group's
    int64_t slotsStart = 0;                 // where its slots lie
};

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
    std::vector<uint8_t> buffer(kCopyBlock);
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

// Writes the saved bytes back and cuts the archive to its old size, then flushes it.
void ApplyJournal(HostFile& journal, const TJournalScan& scan, HostFile& archive) {
    std::vector<uint8_t> buffer(kCopyBlock);
    for (const TSavedRange& range : scan.sealed) {
        int64_t done = 0;
        while (done < range.length) {
            const int64_t piece = std::min<int64_t>(range.length - done, kCopyBlock);
            journal.Seek(range.journalPosition + done);
            journal.ReadExact(buffer.data(), piece);
            archive.Seek(range.offset + done);
            archive.Write(buffer.data(), piece);
            done += piece;
        }
    }
    archive.Seek(scan.header.oldSize);
    archive.Truncate();
    archive.Flush();
    archive.Close();
}

// The byte a roll-back writes at each sample position, where the journal holds one.
std::vector<std::optional<uint8_t>> RestoredBytes(HostFile& journal, const TJournalScan& scan) {
    std::vector<TSavedRange> ranges = scan.sealed;
    std::sort(ranges.begin(), ranges.end(), [](const TSavedRange& a, const TSavedRange& b) { return a.offset < b.offset; });
    const std::vector<TStateSample>& samples = scan.state->samples;
    std::vector<std::optional<uint8_t>> restored(samples.size());
    std::vector<int64_t> positions;
    std::vector<size_t> which;
    for (size_t i = 0; i < samples.size(); ++i) {
        const int64_t at = samples[i].position;
        auto range = std::upper_bound(ranges.begin(), ranges.end(), at,
                                      [](int64_t p, const TSavedRange& r) { return p < r.offset; });
        if (range == ranges.begin()) continue;
        --range;
        if (at >= range->offset + range->length) continue;
        positions.push_back(range->journalPosition + at - range->offset);
        which.push_back(i);
    }
    std::vector<uint8_t> bytes(positions.size());
    if (!positions.empty()) journal.ReadBytesAt(positions, bytes.data());
    for (size_t k = 0; k < which.size(); ++k) restored[which[k]] = bytes[k];
    return restored;
}

// True when the archive is still one the last sealed pass may have left, or a roll-back of
// it that was itself interrupted. Journals of the layouts without states cannot tell.
bool DescribesArchive(HostFile& journal, const TJournalScan& scan, const TOpenedArchive& opened) {
    if (scan.header.version < kStateLayout) return true;
    HostFile archive(opened.Named(), HostFile::Mode::Read);
    // A pass rolling forward writes each byte once, with its final value, and nothing else.
    if (scan.forward)
        return ArchiveFitsState(*scan.state, archive, scan.state->newSize,
                                std::vector<std::optional<uint8_t>>(scan.state->samples.size()));
    return ArchiveFitsState(*scan.state, archive, scan.header.oldSize, RestoredBytes(journal, scan));
}

// The updates this process runs, by archive, so that nested operations join them and a
// read inside one does not take its live journal for a left-over.
std::mutex& ActiveMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::pair<uint64_t, uint64_t>, TUpdateJournal*>& ActiveUpdates() {
    static std::map<std::pair<uint64_t, uint64_t>, TUpdateJournal*> updates;
    return updates;
}

std::pair<uint64_t, uint64_t> KeyOf(const host::FileIdentity& identity) { return {identity.device, identity.inode}; }

TUpdateJournal* ActiveUpdateOf(const host::FileIdentity& identity) {
    std::lock_guard<std::mutex> lock(ActiveMutex());
    const auto found = ActiveUpdates().find(KeyOf(identity));
    return found == ActiveUpdates().end() ? nullptr : found->second;
}

void RemoveJournal(const std::string& journalPath) {
    host::RemoveFile(journalPath);
    host::FlushDirectoryOf(journalPath);
}

// What recovery did, and the journal it left where it was, if any.
struct TRecoveryResult {
    TRecovery outcome = TRecovery::NoJournal;
    std::optional<host::FileIdentity> left;
};

TRecoveryResult Done(TRecovery outcome) { return {outcome, std::nullopt}; }

TRecoveryResult Stays(TRecovery outcome, const host::FileIdentity& journal) { return {outcome, journal}; }

constexpr uint32_t kSuperuser = 0;

std::string ReasonOf(const EInOutError& error) { return std::strerror(error.Code()); }

// A journal this process may not trust or touch stays where it is, unapplied.
TRecoveryResult LeaveJournal(const std::string& journalPath, const host::FileIdentity& journal,
                             const std::string& reason, TNotices* notices) {
    NotifyOnce(notices, journalPath, NoticeText("left the journal", journalPath, reason));
    return Stays(TRecovery::Ignored, journal);
}

// Why the open journal is not to be trusted; empty when it is. Only the archive's owner, the
// user recovering it, or the superuser (who may write any archive anyway, and may have
// updated this one) can have written a journal that is applied: one that another user
// planted, or that others may change, could write anything into the archive.
std::string DistrustOf(const HostFile& journal, const TOpenedArchive& archive) {
    if (journal.Kind() != host::EntryKind::File) return "it is not a regular file";
    const host::FileOwnership ownership = journal.Ownership();
    const bool ours = ownership.user == host::CurrentUser() || ownership.user == kSuperuser ||
                      (archive.IsFile() && ownership.user == archive.Ownership().user);
    if (!ours) return "it belongs to another user, " + UserWords(ownership.user);
    if ((ownership.mode & kWritableByOthers) != 0) return "other users may write it";
    return {};
}

// False, told in notices, when this process may not remove the journal.
bool RemoveJournalIfAllowed(const std::string& journalPath, TNotices* notices) {
    try {
        RemoveJournal(journalPath);
        return true;
    } catch (const EInOutError& error) {
        if (!host::IsAccessRefused(error.Code())) throw;
        NotifyOnce(notices, journalPath, NoticeText("cannot remove", journalPath, ReasonOf(error)));
        return false;
    }
}

TRecoveryResult DiscardJournal(const std::string& journalPath, const host::FileIdentity& journal,
                               TNotices* notices) {
    if (RemoveJournalIfAllowed(journalPath, notices)) return Done(TRecovery::Discarded);
    return Stays(TRecovery::Ignored, journal);
}

// The journal open for reading, never through a link; none, told in notices, when this
// process may not read it or a link took its place meanwhile.
std::unique_ptr<HostFile> OpenJournal(const std::string& journalPath, TNotices* notices) {
    try {
        return std::make_unique<HostFile>(journalPath, HostFile::Mode::ReadNoLink);
    } catch (const EInOutError& error) {
        if (error.Code() == ELOOP) {
            NotifyOnce(notices, journalPath, NoticeText("left the journal", journalPath, "it is not a regular file"));
            return nullptr;
        }
        if (!host::IsAccessRefused(error.Code())) throw;
        NotifyOnce(notices, journalPath, NoticeText("left the journal", journalPath, "cannot read it: " + ReasonOf(error)));
        return nullptr;
    }
}

// The archive open for writing the journal back; none, told in notices, when this process
// may not write it.
std::unique_ptr<HostFile> OpenArchiveToRollBack(const TOpenedArchive& archive, const std::string& journalPath,
                                                TNotices* notices) {
    try {
        return archive.Open(HostFile::Mode::ReadWrite);
    } catch (const EInOutError& error) {
        if (!host::IsAccessRefused(error.Code())) throw;
        NotifyOnce(notices, journalPath,
               NoticeText("left the journal", journalPath, "cannot write the archive: " + ReasonOf(error)));
        return nullptr;
    }
}

// The journal open for writing the slots of the pass it finishes: the very file recovery
// read, never through a link; none, told in notices, when this process may not write it.
std::unique_ptr<HostFile> OpenJournalToFinish(const std::string& journalPath, const host::FileIdentity& identity,
                                              TNotices* notices) {
    std::unique_ptr<HostFile> journal;
    try {
        journal = std::make_unique<HostFile>(journalPath, HostFile::Mode::ReadWriteNoLink);
    } catch (const EInOutError& error) {
        if (error.Code() != ELOOP && !host::IsAccessRefused(error.Code())) throw;
        NotifyOnce(notices, journalPath, NoticeText("left the journal", journalPath, "cannot write it: " + ReasonOf(error)));
        return nullptr;
    }
    if (journal->Identity() == identity) return journal;
    NotifyOnce(notices, journalPath, NoticeText("left the journal", journalPath, "another file took its place"));
    return nullptr;
}

// What a journal that can be trusted has to do with the archive.
enum class TVerdict {
    Discard,  // nothing: it is another file's
    Stale,    // nothing, although sealed for this file: the archive is in another state
    Damaged,  // it was acted on and does not read whole: the archive may be torn
    Apply,
};

// How a journal begins: whether its update may have changed the archive.
enum class TJournalMark {
    NeverActedOn,  // kFreshMagic, or nothing yet on the disk: the archive was not touched
    ActedOn,       // kMagic
    Unknown,       // anything else: a damaged header, or no journal at all
};

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

TVerdict Judge(HostFile& journal, const TJournalScan& scan, const TOpenedArchive& archive) {
    if (!scan.headerValid || scan.seals == 0) return TVerdict::Damaged;
    if (!(scan.header.archive == archive.Identity())) return TVerdict::Discard;
    // The journal was marked once a group with a state was sealed: that group is gone.
    if (scan.header.version >= kStateLayout && !scan.state) return TVerdict::Damaged;
    if (!DescribesArchive(journal, scan, archive))
        return scan.end == TScanEnd::Damaged ? TVerdict::Damaged : TVerdict::Stale;
    return TVerdict::Apply;
}

// What recovery found wrong with a journal it cannot apply, for the user.
std::string DamageOf(TJournalMark mark, const TJournalScan& scan, int64_t journalSize) {
    if (mark == TJournalMark::Unknown) return "it does not begin as a journal does";
    if (scan.newerLayout) return "it was written by a newer version of vpak (layout " +
                                 std::to_string(scan.header.version) + ")";
    if (!scan.headerValid) return "its header is damaged";
    if (scan.seals > 0 && scan.end == TScanEnd::AtEnd) return "it holds no sealed state of the update's pass";
    const std::string from = std::to_string(scan.stoppedAt);
    if (scan.end != TScanEnd::Damaged)
        return "it ends at byte " + std::to_string(journalSize) + ", before the seal of its records from byte " + from +
               " on";
    return "its records from byte " + from + " on are damaged (they do not match their seal)";
}

// Where a damaged journal is kept: beside the archive under a name no journal has, the
// first one free.
constexpr int kKeptAsideNames = 100;

// Renames a journal that was acted on and cannot be applied out of the way: it is what
// there is to tell how the archive was torn. Updates can go on, the user is told that the
// archive may be damaged. Where this process may not rename it, it stays, told as well.
TRecoveryResult KeepDamagedJournal(const std::string& archivePath, const std::string& journalPath,
                                   const host::FileIdentity& identity, const std::string& damage,
                                   TNotices* notices) {
    const std::string consequence = "; the archive \"" + archivePath + "\" may be damaged";
    try {
        for (int n = 1; n <= kKeptAsideNames; ++n) {
            const std::string aside = journalPath + kDamagedSuffix + (n == 1 ? "" : "-" + std::to_string(n));
            if (!host::RenameUnlessTaken(journalPath, aside)) continue;
            host::FlushDirectoryOf(aside);
            NotifyOnce(notices, journalPath,
                       NoticeText("kept the damaged journal", journalPath,
                                  "it is now \"" + aside + "\": " + damage + consequence),
                       TAdvice::TestArchive);
            return Done(TRecovery::KeptAside);
        }
        throw EInOutError(EEXIST, "Cannot rename a file to \"" + journalPath + kDamagedSuffix + "\": " +
                                      host::ErrorText(EEXIST));
    } catch (const EInOutError& error) {
        if (!host::IsAccessRefused(error.Code()) && error.Code() != EEXIST) throw;
        NotifyOnce(notices, journalPath,
                   NoticeText("left the damaged journal", journalPath,
                              damage + "; cannot rename it: " + ReasonOf(error) + consequence),
                   TAdvice::TestArchive);
        return Stays(TRecovery::Ignored, identity);
    }
}

// Recovery with a journal that passed the checks of its file.
TRecoveryResult RecoverTrusted(HostFile& journal, const TOpenedArchive& archive, const std::string& journalPath,
                               const host::FileIdentity& identity, TNotices* notices) {
    if (!archive.IsFile()) {
        // A journal without its archive: nothing to apply it to.
        journal.Close();
        return DiscardJournal(journalPath, identity, notices);
    }
    const TJournalMark mark = ReadMark(journal);
    if (mark == TJournalMark::NeverActedOn) {
        // Whatever it holds, the archive is as it was before the update.
        journal.Close();
        return DiscardJournal(journalPath, identity, notices);
    }
    const TJournalScan scan = ScanJournal(journal);
    const TVerdict verdict = mark == TJournalMark::Unknown ? TVerdict::Damaged : Judge(journal, scan, archive);
    if (verdict == TVerdict::Damaged) {
        const std::string damage = DamageOf(mark, scan, journal.Size());
        journal.Close();
        return KeepDamagedJournal(archive.Path(), journalPath, identity, damage, notices);
    }
    if (verdict == TVerdict::Stale) {
        // The archive was restored, replaced in place or updated through another name since:
        // the journal is ours and can never apply again, so it goes.
        NotifyOnce(notices, journalPath,
               NoticeText("did not apply the journal", journalPath, "the archive is not in a state it describes"));
    }
    if (verdict != TVerdict::Apply) {
        journal.Close();
        return DiscardJournal(journalPath, identity, notices);
    }
    std::unique_ptr<HostFile> target = OpenArchiveToRollBack(archive, journalPath, notices);
    if (target == nullptr) return Stays(TRecovery::Ignored, identity);
    TRecovery outcome = TRecovery::RolledBack;
    if (scan.forward) {
        std::unique_ptr<HostFile> writable = OpenJournalToFinish(journalPath, identity, notices);
        if (writable == nullptr) return Stays(TRecovery::Ignored, identity);
        const TUnstoppable unstoppable;
        RollForward(*target, *writable, *scan.forward, scan.slotsStart, TStart::FromTheSlots);
        target->Close();
        writable->Close();
        outcome = TRecovery::RolledForward;
    } else {
        ApplyJournal(journal, scan, *target);
    }
    journal.Close();
    if (RemoveJournalIfAllowed(journalPath, notices)) return Done(outcome);
    return Stays(outcome, identity);
}

// Recovery with the archive locked exclusively (or known to be absent).
TRecoveryResult RecoverLocked(const TOpenedArchive& archive, const std::string& journalPath, TNotices* notices) {
    const host::EntryInfo entry = host::StatNoFollow(journalPath);
    if (entry.kind == host::EntryKind::Missing) return Done(TRecovery::NoJournal);
    if (entry.kind != host::EntryKind::File)
        return LeaveJournal(journalPath, entry.identity, "it is not a regular file", notices);
    std::unique_ptr<HostFile> journal = OpenJournal(journalPath, notices);
    if (journal == nullptr) return Stays(TRecovery::Ignored, entry.identity);
    const std::string distrust = DistrustOf(*journal, archive);
    if (!distrust.empty()) return LeaveJournal(journalPath, entry.identity, distrust, notices);
    return RecoverTrusted(*journal, archive, journalPath, entry.identity, notices);
}

TRecoveryResult RecoverUnlessUpdating(TOpenedArchive& archive, TNotices* notices) {
    if (!host::NameExists(archive.JournalPath())) return Done(TRecovery::NoJournal);
    if (!archive.IsFile()) return RecoverLocked(archive, archive.JournalPath(), notices);
    if (ActiveUpdateOf(archive.Identity()) != nullptr) return Done(TRecovery::NoJournal);
    // An update of another process holds the lock until it has removed its journal. Should
    // another file stand under the name by then, its own journal is the one to look at.
    const std::unique_ptr<host::FileLock> lock = archive.Lock(host::LockKind::Exclusive);
    return RecoverLocked(archive, archive.JournalPath(), notices);
}

}  // namespace

// The journal of one running update: saves ranges of the archive before they change, and
// knows which ranges of the old archive it already holds.
class TUpdateJournal final : public host::ChangeWatcher {
public:
    TUpdateJournal(TOpenedArchive& archive, const host::FileIdentity& identity, TJournalling journalling,
                   TNotices* notices)
        : archive_(archive),
          archivePath_(archive.Path()),
          kept_(journalling == TJournalling::Kept),
          notices_(notices),
          journalPath_(archive.JournalPath()),
          reader_(archive.Named(), HostFile::Mode::Read) {
        header_.archive = identity;
        header_.oldSize = reader_.Size();
    }

    // False only for an update a benchmark runs without its journal: nothing is saved.
    bool Kept() const { return kept_; }
    void Protect(const std::vector<TByteRange>& ranges) { SaveAndSeal(ranges, nullptr); }
    TStreamBytes Park(const TArrayOfByte& stream);
    void ProtectPass(const std::vector<TByteRange>& ranges, const TPassOutcome& outcome);
    void PassDone() { passCovered_ = false; }
    bool RollsForward(const std::vector<TByteRange>& ranges) const;
    int64_t PieceLength(int64_t alsoNeeded) const;
    void SealForward(HostFile& archive, const TForwardPass& pass, const TPassOutcome& outcome);
    void FinishForward(HostFile& archive, const TForwardPass& pass) {
        RollForward(archive, *journal_, pass, *slotsStart_, TStart::AtTheFirstPiece);
    }
    void BeforeChange(int64_t from, int64_t to) override;
    void Commit();
    void RollBack();

private:
    std::vector<TByteRange> Unsaved(TByteRange range) const;
    int64_t Room(int64_t alsoNeeded) const;
    void WriteForwardGroup(const TForwardPass& pass, const TPassOutcome& outcome);
    void SaveAndSeal(const std::vector<TByteRange>& ranges, const TJournalState* state);
    void Create();
    void Append(const void* bytes, int64_t count);
    // A group sealed ahead of time, or the one before the archive changes in its ranges.
    enum class TGroup { Ahead, BeforeChange };
    void SealAndFlush(TGroup group);
    void MarkActedOn();
    void SaveRange(const TByteRange& range);
    void WriteState(const TJournalState& state);
    void Seal();
    void HandToDisk(int64_t position, int64_t length);
    void ForgetWritten();

    TOpenedArchive& archive_;
    std::string archivePath_;
    bool kept_;
    TNotices* notices_;
    std::string journalPath_;
    HostFile reader_;
    TJournalHeader header_;
    std::unique_ptr<HostFile> journal_;
    std::unique_ptr<TSealSum> digest_;
    std::vector<TByteRange> saved_;  // sorted, disjoint
    std::deque<TByteRange> inWriteback_;  // journal positions, oldest first
    bool passCovered_ = false;  // a sealed state covers the changes being made now
    bool sealed_ = false;       // a group is sealed, and the journal's name is on the disk
    bool actedOn_ = false;      // the journal begins with kMagic: the archive may change
    // Where the slots of a sealed pass that rolls forward lie; once there is one, the
    // archive's writes need no saving.
    std::optional<int64_t> slotsStart_;
};

// The parts of range inside the old archive that no record holds yet.
std::vector<TByteRange> TUpdateJournal::Unsaved(TByteRange range) const {
    range.from = std::max<int64_t>(range.from, 0);
    range.to = std::min(range.to, header_.oldSize);
    std::vector<TByteRange> gaps;
    for (const TByteRange& held : saved_) {
        if (range.from >= range.to) break;
        if (held.to <= range.from) continue;
        if (held.from >= range.to) break;
        if (held.from > range.from) gaps.push_back({range.from, held.from});
        range.from = std::max(range.from, held.to);
    }
    if (range.from < range.to) gaps.push_back(range);
    return gaps;
}

// What the journal may hold of the archive: the budget, and no more than half the free space
// that alsoNeeded bytes leave, so that the archive can still grow and the disk does not fill
// up with the journal.
int64_t TUpdateJournal::Room(int64_t alsoNeeded) const {
    return std::min(kJournalBudget, (reader_.AvailableSpace() - alsoNeeded) / 2);
}

bool TUpdateJournal::RollsForward(const std::vector<TByteRange>& ranges) const {
    int64_t unsaved = 0;
    for (const TByteRange& range : ranges)
        for (const TByteRange& gap : Unsaved(range)) unsaved += gap.to - gap.from;
    return unsaved > Room(0);
}

// The two slots share the room that the plan and the archive's growth leave; a piece is a
// whole number of disk sectors, at least one.
int64_t TUpdateJournal::PieceLength(int64_t alsoNeeded) const {
    constexpr int64_t kSector = 512;
    return std::max(kSector, Room(alsoNeeded) / 2 / kSector * kSector);
}

void TUpdateJournal::SealForward(HostFile& archive, const TForwardPass& pass, const TPassOutcome& outcome) {
    // Whatever space the pass needs is taken before it is sealed: once it is, it must be
    // able to finish. Should the journal not fit, the archive gives the space back.
    archive.Reserve(pass.finalSize);
    try {
        WriteForwardGroup(pass, outcome);
    } catch (...) {
        // The error on its way is the one to tell.
        try {
            archive.ReleaseReserved();
        } catch (...) {
        }
        throw;
    }
}

void TUpdateJournal::WriteForwardGroup(const TForwardPass& pass, const TPassOutcome& outcome) {
    const TJournalState state = MeasureState(reader_, outcome);
    if (journal_ == nullptr) Create();
    EncodePlan(pass, [this](const void* bytes, size_t count) { Append(bytes, static_cast<int64_t>(count)); });
    WriteState(state);
    const int64_t slotsStart = SlotsStart(journal_->Position() + digest_->SealLength());
    journal_->Reserve(JournalEndWithSlots(slotsStart, pass.pieceLength));
    SealAndFlush(TGroup::BeforeChange);
    slotsStart_ = slotsStart;
}

void TUpdateJournal::SaveAndSeal(const std::vector<TByteRange>& ranges, const TJournalState* state) {
    std::vector<TByteRange> gaps;
    bool changesSomething = false;
    for (const TByteRange& range : ranges) {
        changesSomething = changesSomething || range.from < range.to;
        for (const TByteRange& gap : Unsaved(range)) gaps.push_back(gap);
    }
    // Even a change wholly behind the old end needs a sealed group: it records the old size.
    if (gaps.empty() && state == nullptr && (sealed_ || !changesSomething)) return;
    if (journal_ == nullptr) Create();
    for (const TByteRange& gap : gaps) {
        // Ranges given together may overlap; what an earlier one saved is not saved twice.
        for (const TByteRange& part : Unsaved(gap)) SaveRange(part);
    }
    if (state != nullptr) WriteState(*state);
    // Only a pass, announced by its state, changes the archive behind a group.
    SealAndFlush(state != nullptr ? TGroup::BeforeChange : TGroup::Ahead);
    if (state != nullptr) passCovered_ = true;
}

void TUpdateJournal::ProtectPass(const std::vector<TByteRange>& ranges, const TPassOutcome& outcome) {
    const TJournalState state = MeasureState(reader_, outcome);
    SaveAndSeal(ranges, &state);
}

// A change no pass announced: recovery must not take the archive it leaves for another's.
void TUpdateJournal::BeforeChange(int64_t from, int64_t to) {
    if (slotsStart_) return;
    if (passCovered_) {
        SaveAndSeal({{from, to}}, nullptr);
        return;
    }
    const TJournalState unknown = UnknownState();
    SaveAndSeal({{from, to}}, &unknown);
}

void TUpdateJournal::Create() {
    // The journal holds the archive's bytes: whoever may read the archive may read it, and
    // no one but its owner may write it, or recovery would not trust it.
    const uint32_t permissions = (reader_.Ownership().mode & kReadableBits) | kOwnerReadWrite;
    // Its errors name the archive the user gave, not a file the user never named.
    const std::string subject = "the journal of \"" + archivePath_ + "\"";
    try {
        journal_ = std::make_unique<HostFile>(journalPath_, HostFile::Mode::CreateNew, permissions);
    } catch (const EInOutError& error) {
        throw EInOutError(error.Code(), "Cannot create " + subject + ": " + host::ErrorText(error.Code()));
    }
    journal_->NameInMessages(subject);
    digest_ = std::make_unique<TSealSum>(header_.version);
    const auto header = EncodeHeader(header_, kFreshMagic);
    journal_->Write(header.data(), kHeaderLength);
    const auto sealedHeader = EncodeHeader(header_);
    digest_->Update(sealedHeader.data(), kHeaderLength);
}

// Every byte of the journal goes into the checksum of the next seal.
void TUpdateJournal::Append(const void* bytes, int64_t count) {
    journal_->Write(bytes, count);
    digest_->Update(bytes, static_cast<size_t>(count));
}

void TUpdateJournal::SealAndFlush(TGroup group) {
    Seal();
    journal_->Flush();
    ForgetWritten();
    if (group == TGroup::BeforeChange && !actedOn_) MarkActedOn();
    // The journal's name must be on disk before the archive changes, or a power cut could
    // leave a changed archive and no journal.
    if (!sealed_) host::FlushDirectoryOf(journalPath_);
    sealed_ = true;
}

// The group that lets the archive change is on the disk: from now on a journal that does not
// read whole is evidence of a torn archive, never a left-over to remove. The mark is on the
// disk before the archive changes too.
void TUpdateJournal::MarkActedOn() {
    const int64_t end = journal_->Position();
    journal_->Seek(0);
    journal_->Write(kMagic, sizeof kMagic);
    journal_->Seek(end);
    journal_->Flush();
    actedOn_ = true;
}

// A DATA record: the stream's bytes stay unsealed until the group of the pass that writes
// them is sealed, and are handed to the disk meanwhile. They stay in the cache, to be read
// back when the pass writes them.
TStreamBytes TUpdateJournal::Park(const TArrayOfByte& stream) {
    if (journal_ == nullptr) Create();
    const int64_t length = BufferLength(stream);
    uint8_t head[kDataHeadLength]{};
    std::memcpy(head, kDataTag, sizeof kDataTag);
    PutLittleEndian(head + 8, static_cast<uint64_t>(length), 8);
    Append(head, kDataHeadLength);
    const int64_t position = journal_->Position();
    Append(stream.data(), length);
    journal_->StartWriteback(position, length);
    return TStreamBytes::Parked(*journal_, position, length);
}

void TUpdateJournal::SaveRange(const TByteRange& range) {
    uint8_t head[kRecordHeadLength]{};
    std::memcpy(head, kRecordTag, sizeof kRecordTag);
    PutLittleEndian(head + 8, static_cast<uint64_t>(range.from), 8);
    PutLittleEndian(head + 16, static_cast<uint64_t>(range.to - range.from), 8);
    Append(head, kRecordHeadLength);

    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(kCopyBlock, range.to - range.from)));
    for (int64_t at = range.from; at < range.to;) {
        const int64_t piece = std::min<int64_t>(range.to - at, static_cast<int64_t>(buffer.size()));
        reader_.Seek(at);
        reader_.ReadExact(buffer.data(), piece);
        const int64_t written = journal_->Position();
        Append(buffer.data(), piece);
        HandToDisk(written, piece);
        at += piece;
        // A stop here leaves an unsealed group, which no roll-back applies.
        KeepAlive();
    }
    saved_.push_back(range);
    std::sort(saved_.begin(), saved_.end(), [](const TByteRange& a, const TByteRange& b) { return a.from < b.from; });
}

// The group is flushed before the archive changes; writing it out meanwhile lets the disk
// work while the next piece is copied.
void TUpdateJournal::HandToDisk(int64_t position, int64_t length) {
    journal_->StartWriteback(position, length);
    inWriteback_.push_back({position, position + length});
    if (inWriteback_.size() <= kWritebackWindow) return;
    const TByteRange oldest = inWriteback_.front();
    inWriteback_.pop_front();
    journal_->FlushRangeAndForget(oldest.from, oldest.to - oldest.from);
}

// After the flush of a group: its last pieces are on the disk and leave the cache too.
void TUpdateJournal::ForgetWritten() {
    for (const TByteRange& piece : inWriteback_) journal_->FlushRangeAndForget(piece.from, piece.to - piece.from);
    inWriteback_.clear();
}

void TUpdateJournal::WriteState(const TJournalState& state) {
    const std::vector<uint8_t> record = EncodeState(state);
    Append(record.data(), static_cast<int64_t>(record.size()));
}

void TUpdateJournal::Seal() {
    std::vector<uint8_t> seal(static_cast<size_t>(kTagLength));
    std::memcpy(seal.data(), kSealTag, sizeof kSealTag);
    const std::vector<uint8_t> sum = digest_->Value();
    seal.insert(seal.end(), sum.begin(), sum.end());
    Append(seal.data(), static_cast<int64_t>(seal.size()));
}

void TUpdateJournal::Commit() {
    if (journal_ == nullptr) return;
    // The archive's new bytes must be on disk before the journal that could undo them goes.
    reader_.Flush();
    journal_->Close();
    RemoveJournal(journalPath_);
    journal_.reset();
}

void TUpdateJournal::RollBack() {
    if (journal_ == nullptr) return;
    journal_->Close();
    journal_.reset();
    RecoverLocked(archive_, journalPath_, notices_);
}

std::string JournalPathOf(const std::string& archivePath) { return host::ResolvedPath(archivePath) + kJournalSuffix; }

TRecovery RecoverArchive(const std::string& archivePath, TNotices* notices) {
    TOpenedArchive archive(archivePath);
    return RecoverArchive(archive, notices);
}

TRecovery RecoverArchive(TOpenedArchive& archive, TNotices* notices) {
    return RecoverUnlessUpdating(archive, notices).outcome;
}

TArchiveUpdate::TArchiveUpdate(const std::string& archivePath, TNotices* notices, TJournalling journalling)
    : own_(std::make_unique<TOpenedArchive>(archivePath)) {
    Start(*own_, notices, journalling);
}

TArchiveUpdate::TArchiveUpdate(TOpenedArchive& archive, TNotices* notices, TJournalling journalling) {
    Start(archive, notices, journalling);
}

void TArchiveUpdate::Start(TOpenedArchive& archive, TNotices* notices, TJournalling journalling) {
    if (!archive.IsFile()) return;
    active_ = ActiveUpdateOf(archive.Identity());
    if (active_ != nullptr) return;

    lock_ = archive.Lock(host::LockKind::Exclusive);
    const std::string journalPath = archive.JournalPath();
    if (RecoverLocked(archive, journalPath, notices).left)
        throw EInOutError(EEXIST, "Cannot update \"" + archive.Path() + "\": the journal \"" + journalPath +
                                      "\" beside it was left alone");
    RemoveLeftOverBuildBeside(archive.RealPath(), notices);
    journal_ = std::make_unique<TUpdateJournal>(archive, lock_->Identity(), journalling, notices);
    active_ = journal_.get();
    std::lock_guard<std::mutex> guard(ActiveMutex());
    ActiveUpdates()[KeyOf(lock_->Identity())] = active_;
}

TArchiveUpdate::~TArchiveUpdate() {
    if (journal_ == nullptr) return;
    {
        std::lock_guard<std::mutex> guard(ActiveMutex());
        ActiveUpdates().erase(KeyOf(lock_->Identity()));
    }
    if (committed_) return;
    // An error is on its way to the caller; this one must not replace it. A roll-back that
    // fails leaves the sealed journal for the next open of the archive.
    try {
        journal_->RollBack();
    } catch (...) {
    }
}

void TArchiveUpdate::Protect(const std::vector<TByteRange>& ranges) {
    if (active_ != nullptr && active_->Kept()) active_->Protect(ranges);
}

void TArchiveUpdate::Protect(const std::vector<TByteRange>& ranges, const TPassOutcome& outcome) {
    if (active_ != nullptr && active_->Kept()) active_->ProtectPass(ranges, outcome);
}

std::optional<TStreamBytes> TArchiveUpdate::Park(const TArrayOfByte& stream) {
    if (active_ == nullptr || !active_->Kept()) return std::nullopt;
    return active_->Park(stream);
}

void TArchiveUpdate::PassDone() {
    if (active_ != nullptr) active_->PassDone();
}

bool TArchiveUpdate::RollsForward(const std::vector<TByteRange>& ranges) const {
    return journal_ != nullptr && journal_->Kept() && journal_->RollsForward(ranges);
}

int64_t TArchiveUpdate::PieceLength(int64_t alsoNeeded) const {
    return journal_ != nullptr ? journal_->PieceLength(alsoNeeded) : 0;
}

void TArchiveUpdate::SealForward(HostFile& archive, const TForwardPass& pass, const TPassOutcome& outcome) {
    journal_->SealForward(archive, pass, outcome);
}

void TArchiveUpdate::FinishForward(HostFile& archive, const TForwardPass& pass) {
    journal_->FinishForward(archive, pass);
}

void TArchiveUpdate::Watch(HostFile& archive) {
    if (active_ != nullptr && active_->Kept()) archive.SetChangeWatcher(active_);
}

void TArchiveUpdate::Commit() {
    // A joined update leaves the commit to the outer one.
    if (journal_ == nullptr) return;
    journal_->Commit();
    committed_ = true;
}

TArchiveReading::TArchiveReading(const std::string& archivePath, TNotices* notices)
    : own_(std::make_unique<TOpenedArchive>(archivePath)) {
    Start(*own_, notices);
}

TArchiveReading::TArchiveReading(TOpenedArchive& archive, TNotices* notices) { Start(archive, notices); }

TArchiveReading::~TArchiveReading() = default;

void TArchiveReading::Start(TOpenedArchive& archive, TNotices* notices) {
    if (!archive.IsFile()) return;
    // An update this process runs has dealt with the left-overs and holds the archive.
    if (ActiveUpdateOf(archive.Identity()) != nullptr) return;
    RemoveLeftOverBuildBeside(archive.RealPath(), notices);
    // A journal that appears while this waits for the shared lock was left by an update
    // killed meanwhile; it is rolled back before the archive is read. One that recovery left
    // where it was is read past.
    for (;;) {
        const TRecoveryResult recovery = RecoverUnlessUpdating(archive, notices);
        lock_ = archive.Lock(host::LockKind::Shared);
        const host::EntryInfo journal = host::StatNoFollow(archive.JournalPath());
        if (journal.kind == host::EntryKind::Missing) return;
        if (recovery.left == journal.identity) return;
        if (ActiveUpdateOf(lock_->Identity()) != nullptr) return;
        lock_.reset();
    }
}
