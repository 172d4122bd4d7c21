#include "engine/updating/internal/journal_recovery.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "engine/updating/internal/forward_pass.h"
#include "engine/updating/internal/journal_format.h"
#include "engine/updating/internal/journal_state.h"
#include "engine/updating/internal/running_updates.h"
#include "engine/building/internal/staging_file.h"
#include "support/errors.h"
#include "support/host_file.h"
#include "support/host_lock.h"
#include "support/host_names.h"
#include "support/progress.h"

namespace {

// A journal holds the archive's bytes and says what to write into it: one that others may
// write could make the archive anything.
constexpr uint32_t kWritableByOthers = 0022;

// Writes the saved bytes back and cuts the archive to its old size, then flushes it.
void ApplyJournal(HostFile& journal, const TJournalScan& scan, HostFile& archive) {
    std::vector<uint8_t> buffer(kJournalCopyBlock);
    for (const TSavedRange& range : scan.sealed) {
        int64_t done = 0;
        while (done < range.length) {
            const int64_t piece = std::min<int64_t>(range.length - done, kJournalCopyBlock);
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

}  // namespace

void RemoveJournal(const std::string& journalPath) {
    host::RemoveFile(journalPath);
    host::FlushDirectoryOf(journalPath);
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
    if (RunningUpdateOf(archive.Identity()) != nullptr) return Done(TRecovery::NoJournal);
    // An update of another process holds the lock until it has removed its journal. Should
    // another file stand under the name by then, its own journal is the one to look at.
    const std::unique_ptr<host::FileLock> lock = archive.Lock(host::LockKind::Exclusive);
    return RecoverLocked(archive, archive.JournalPath(), notices);
}

TRecovery RecoverArchive(const std::string& archivePath, TNotices* notices) {
    TOpenedArchive archive(archivePath);
    return RecoverArchive(archive, notices);
}

TRecovery RecoverArchive(TOpenedArchive& archive, TNotices* notices) {
    return RecoverUnlessUpdating(archive, notices).outcome;
}

