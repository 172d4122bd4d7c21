#include "engine/updating/internal/update_journal.h"

#include <algorithm>
#include <cerrno>
#include <deque>

#include "engine/updating/internal/journal_format.h"
#include "engine/updating/internal/journal_recovery.h"
#include "engine/updating/internal/running_updates.h"
#include "engine/building/internal/staging_file.h"
#include "support/errors.h"
#include "support/host_names.h"
#include "support/progress.h"

namespace {

// A new journal may be read by whoever may read the archive, and written by its owner alone.
constexpr uint32_t kReadableBits = 0444;
constexpr uint32_t kOwnerReadWrite = 0600;
// Pieces of the journal written but not yet known to be on the disk. Beyond this the oldest
// is waited for and dropped from the cache, so that the journal of a large tail reuses a
// few megabytes of cache instead of taking hundreds afresh.
constexpr size_t kWritebackWindow = 8;

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
    const auto head = EncodeDataHead(length);
    Append(head.data(), kDataHeadLength);
    const int64_t position = journal_->Position();
    Append(stream.data(), length);
    journal_->StartWriteback(position, length);
    return TStreamBytes::Parked(*journal_, position, length);
}

void TUpdateJournal::SaveRange(const TByteRange& range) {
    const auto head = EncodeSaveHead(range.from, range.to - range.from);
    Append(head.data(), kRecordHeadLength);

    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(kJournalCopyBlock, range.to - range.from)));
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
    const std::vector<uint8_t> seal = EncodeSeal(*digest_);
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

TArchiveUpdate::TArchiveUpdate(const std::string& archivePath, TNotices* notices, TJournalling journalling)
    : own_(std::make_unique<TOpenedArchive>(archivePath)) {
    Start(*own_, notices, journalling);
}

TArchiveUpdate::TArchiveUpdate(TOpenedArchive& archive, TNotices* notices, TJournalling journalling) {
    Start(archive, notices, journalling);
}

void TArchiveUpdate::Start(TOpenedArchive& archive, TNotices* notices, TJournalling journalling) {
    if (!archive.IsFile()) return;
    active_ = RunningUpdateOf(archive.Identity());
    if (active_ != nullptr) return;

    lock_ = archive.Lock(host::LockKind::Exclusive);
    const std::string journalPath = archive.JournalPath();
    if (RecoverLocked(archive, journalPath, notices).left)
        throw EInOutError(EEXIST, "Cannot update \"" + archive.Path() + "\": the journal \"" + journalPath +
                                      "\" beside it was left alone");
    RemoveLeftOverBuildBeside(archive.RealPath(), notices);
    journal_ = std::make_unique<TUpdateJournal>(archive, lock_->Identity(), journalling, notices);
    active_ = journal_.get();
    AddRunningUpdate(lock_->Identity(), active_);
}

TArchiveUpdate::~TArchiveUpdate() {
    if (journal_ == nullptr) return;
    RemoveRunningUpdate(lock_->Identity());
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
