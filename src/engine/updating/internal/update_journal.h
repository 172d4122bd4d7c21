// The rollback journal that makes an in-place update of an archive old-or-new.
//
// Before the first byte of the archive changes, the journal beside it (the archive's name +
// ".vpak-journal", created exclusively, never through a symbolic link, readable by whoever may
// read the archive and writable by its owner alone) receives the archive's device, inode and
// size and the present content of every range the update is going to overwrite or cut off,
// and, for each pass, the state the pass leads from and to (journal_state.h), sealed by a
// CRC-32 over everything before the seal, and is flushed to disk. Only then does the archive
// change. When the update is complete the archive is flushed and the journal removed.
//
// Whoever opens the archive next and finds a journal applies it only when it can trust it
// and it describes this very archive: a regular file, owned by the archive's owner or by the
// user recovering, that no one else may write, sealed for this file (device and inode), and
// the archive still in the state of its last sealed STATE record. Then the saved ranges are
// written back and the archive is cut to its old size. A journal that is not to be trusted
// is left where it is, unapplied; a trusted one that does not fit is removed unapplied.
//
// A pass that would have the journal save more than kJournalBudget bytes, or more than half
// the disk's free space, rolls forward instead, when it is the last pass of its update: the
// journal holds the whole pass, sealed, and two slots of at most half the budget each
// (forward_pass.h). Once that group is sealed, recovery finishes the pass instead of undoing
// the update, and the archive is the new one.
//
// Layout, integers little-endian:
//   header   "VPAK-JNL", version (4), header length (4), device (8), inode (8), old size (8)
//   record   "SAVE", 4 zero bytes, archive offset (8), length n (8), the n saved bytes
//   record   "STAT", 4 zero bytes, the state of a pass (journal_state.h)
//   record   "DATA", 4 zero bytes, length n (8), the n bytes of a new stream parked here
//   record   "PLAN", the pass that rolls forward (forward_pass.h); only in the last group
//   seal     "SEAL", 4 zero bytes, CRC-32 of every journal byte in front of the seal (4)
//   slots    behind the seal of a group with a PLAN record (forward_pass.h)
// Version 5 is written. Version 4 (no DATA records), 3 (no PLAN records either), 2 (no STATE
// records either) and 1 (seals
// holding a SHA-1 of 20 bytes) are still read; those before 3 are applied on the checks of
// the file alone. Records and seals follow each other in groups; a group is flushed before the
// archive changes inside its ranges. A roll-back applies the records up to the last valid
// seal; a sealed PLAN is rolled forward.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/updating/internal/journal_state.h"
#include "engine/reading/internal/opened_archive.h"
#include "engine/reading/internal/stream_bytes.h"
#include "engine/notices.h"
#include "support/host_file.h"
#include "support/host_lock.h"

inline constexpr const char* kJournalSuffix = ".vpak-journal";
// A journal that was acted on and does not read whole is kept under its name + this (then
// "-2", "-3" ...), out of the way of the next update: it is evidence of how the archive tore.
inline constexpr const char* kDamagedSuffix = ".damaged";

// The most an update's journal holds of the archive's old bytes, whatever the archive's size;
// new streams and the new directory come on top.
inline constexpr int64_t kJournalBudget = int64_t{64} << 20;

// Where the journal of an archive lies: beside the file the path names, links resolved
// (TOpenedArchive::JournalPath, for an archive looked up once).
std::string JournalPathOf(const std::string& archivePath);

enum class TRecovery {
    NoJournal,   // nothing to do
    RolledBack,  // a sealed journal of this file was applied: the archive is as before the update
    RolledForward,  // a sealed pass was finished: the archive is as after the update
    Discarded,   // a journal unsealed, damaged, of another file or another state of it was
                 // removed; the archive was left as it is
    Ignored,     // a journal this process may not apply or remove stays; the archive was left as it is
    KeptAside,   // a journal that was acted on but does not read whole, or does not fit the
                 // archive where it is damaged, was renamed (kDamagedSuffix); the archive may be torn
};

// Rolls back what an interrupted update of the archive left. Waits while another process
// updates the archive. Does nothing to an update that this process is running. What it
// leaves alone, and why, is told in notices.
TRecovery RecoverArchive(const std::string& archivePath, TNotices* notices = nullptr);
// The same for an archive the operation has opened; it may be locked by this process already.
TRecovery RecoverArchive(TOpenedArchive& archive, TNotices* notices = nullptr);

// A byte range of the archive, from up to (not including) to.
struct TByteRange {
    int64_t from = 0;
    int64_t to = 0;
};

class TUpdateJournal;
struct TForwardPass;

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

// Reading an archive: rolls back an interrupted update and removes the file a killed build
// left beside it, then holds a shared lock, so that no update of another process runs while
// the archive is read. A left-over this process may not remove or apply stays, told in
// notices, and the archive is read as it is.
class TArchiveReading {
public:
    explicit TArchiveReading(const std::string& archivePath, TNotices* notices = nullptr);
    // The same for an archive the operation has opened, which must outlive the reading.
    // Should another file stand under its name once the lock is held after a wait, archive
    // stands for that one from then on.
    explicit TArchiveReading(TOpenedArchive& archive, TNotices* notices = nullptr);
    ~TArchiveReading();
    TArchiveReading(const TArchiveReading&) = delete;
    TArchiveReading& operator=(const TArchiveReading&) = delete;

private:
    void Start(TOpenedArchive& archive, TNotices* notices);

    std::unique_ptr<TOpenedArchive> own_;  // the archive, when this opened it from a path
    std::unique_ptr<host::FileLock> lock_;
};
