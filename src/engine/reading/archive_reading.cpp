#include "engine/reading/internal/archive_reading.h"

#include "engine/updating/internal/journal_recovery.h"
#include "engine/updating/internal/running_updates.h"
#include "engine/building/internal/staging_file.h"
#include "support/host_entries.h"

TArchiveReading::TArchiveReading(const std::string& archivePath, TNotices* notices)
    : own_(std::make_unique<TOpenedArchive>(archivePath)) {
    Start(*own_, notices);
}

TArchiveReading::TArchiveReading(TOpenedArchive& archive, TNotices* notices) { Start(archive, notices); }

TArchiveReading::~TArchiveReading() = default;

void TArchiveReading::Start(TOpenedArchive& archive, TNotices* notices) {
    if (!archive.IsFile()) return;
    // An update this process runs has dealt with the left-overs and holds the archive.
    if (RunningUpdateOf(archive.Identity()) != nullptr) return;
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
        if (RunningUpdateOf(lock_->Identity()) != nullptr) return;
        lock_.reset();
    }
}
