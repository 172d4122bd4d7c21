// The rollback journal that makes an in-place update of an archive old-or-new, and the
// update that writes it.
//
// Before the first byte of the archive changes, the journal beside it (the archive's name +
// ".vpak-journal", created exclusively, never through a symbolic link, readable by whoever may
// read the archive and writable by its owner alone) receives the archive's device, inode and
// size and the present content of every range the update is going to overwrite or cut off,
// and, for each pass, the state the pass leads from and to (journal_state.h), sealed, and is
// flushed to disk. Only then does the archive change. When the update is complete the archive
// is flushed and the journal removed. Whoever opens the archive next and finds a journal
// recovers from it (journal_recovery.h).
//
// A pass that would have the journal save more than kJournalBudget bytes
// (journal_format.h), or more than half the disk's free space, rolls forward instead, when it
// is the last pass of its update: the journal holds the whole pass, sealed, and two slots of
// at most half the budget each (forward_pass.h). Once that group is sealed, recovery finishes
// the pass instead of undoing the update, and the archive is the new one.
//
// The journal's format is described in vpak-journal(5).
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/updating/internal/forward_pass.h"
#include "engine/updating/internal/journal_state.h"
#include "engine/reading/internal/opened_archive.h"
#include "engine/reading/internal/stream_bytes.h"
#include "engine/notices.h"
#include "support/bytes.h"
#include "support/host_file.h"
#include "support/host_lock.h"

// A byte range of the archive, from up to (not including) to.
struct TByteRange {
    int64_t from = 0;
    int64_t to = 0;
};

// The journal itself, which the outermost update of an archive writes.
class TUpdateJournal;

// Whether an update keeps its journal. Every operation keeps it. Only a benchmark that
// measures what the journal costs skips it, by naming this: the update then still locks the
// archive, but saves nothing and flushes nothing, so an interruption leaves a torn archive.
enum class TJournalling {
    Kept,
    Skipped,
};

// One update of one archive: the archive locked exclusively for its whole run, and its
// journal. An update started while this process runs one on the same archive joins it;
// the outer update then commits or rolls back the whole.
//
// When the update object ends without Commit (an error is on its way), it rolls the archive
// back at once; should that fail too, the journal stays for the next open.
class TArchiveUpdate {
public:
    // Rolls back an interrupted update first; raises when a journal stays beside the archive
    // (told in notices), as the update could not keep its own. A path that names no regular
    // file gives an update that protects nothing (the operation will refuse that archive
    // itself). An update that joins an outer one keeps or skips the journal as that one does.
    explicit TArchiveUpdate(const std::string& archivePath, TNotices* notices = nullptr,
                            TJournalling journalling = TJournalling::Kept);
    // The same for an archive the operation has opened, which must outlive the update.
    explicit TArchiveUpdate(TOpenedArchive& archive, TNotices* notices = nullptr,
                            TJournalling journalling = TJournalling::Kept);
    ~TArchiveUpdate();
    TArchiveUpdate(const TArchiveUpdate&) = delete;
    TArchiveUpdate& operator=(const TArchiveUpdate&) = delete;

    // Saves what the ranges hold now, as far as no earlier record holds it, and flushes the
    // journal. This records no state: before a pass changes the archive, it must still be
    // protected with its outcome.
    void Protect(const std::vector<TByteRange>& ranges);

    // The same before a pass: the journal also records the state the pass leads from and to,
    // so that recovery can tell the archive an interrupted pass left from any other. Call
    // before the archive changes there.
    void Protect(const std::vector<TByteRange>& ranges, const TPassOutcome& outcome);

    // Parks a new stream in the journal, so that a pass of this update writes it from there
    // instead of memory; the journal grows by its length. Nothing for an update without its
    // journal, which must hold its streams itself. What is parked is sealed with the next
    // group.
    std::optional<TStreamBytes> Park(const TArrayOfByte& stream);

    // The pass the last outcome described is complete: a change after it needs another.
    void PassDone();

    // True when the last pass of this update, changing ranges, is to roll forward: saving
    // them would take more than the journal's room (kJournalBudget, or half the free space).
    // Never for an update that joined another, nor for one without its journal.
    bool RollsForward(const std::vector<TByteRange>& ranges) const;

    // The length of the pieces a forward pass moves at a time, when the journal and the
    // archive also need alsoNeeded bytes of the disk besides the slots.
    int64_t PieceLength(int64_t alsoNeeded) const;

    // Seals the whole pass in the journal, with the space it needs taken first: from then
    // on, should the process end, the next open finishes the pass.
    void SealForward(HostFile& archive, const TForwardPass& pass, const TPassOutcome& outcome);

    // Applies the sealed pass to archive and flushes it. An error leaves the pass to the
    // next open to finish. The update then only commits.
    void FinishForward(HostFile& archive, const TForwardPass& pass);

    // From now on every write to archive saves the bytes it overwrites first, should they lie
    // outside the protected ranges. A write that comes while no pass is protected first
    // records a state of unknown content, so that the journal covers it all the same.
    void Watch(HostFile& archive);

    // The update is complete: the archive is flushed and the journal removed.
    void Commit();

private:
    void Start(TOpenedArchive& archive, TNotices* notices, TJournalling journalling);

    std::unique_ptr<TOpenedArchive> own_;  // the archive, when this opened it from a path
    std::unique_ptr<host::FileLock> lock_;
    std::unique_ptr<TUpdateJournal> journal_;  // owned by the outermost update only
    TUpdateJournal* active_ = nullptr;         // this update's journal or the outer one's
    bool committed_ = false;
};
