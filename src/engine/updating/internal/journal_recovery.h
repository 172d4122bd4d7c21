// Recovery: what an interrupted update left beside an archive, its journal (update_journal.h),
// is dealt with before the archive is read or updated again.
//
// Whoever opens the archive next and finds a journal applies it only when it can trust it
// and it describes this very archive: a regular file, owned by the archive's owner or by the
// user recovering, that no one else may write, sealed for this file (device and inode), and
// the archive still in the state of its last sealed STATE record. Then the saved ranges are
// written back and the archive is cut to its old size, or a sealed pass that rolls forward
// is finished (forward_pass.h). A journal that is not to be trusted is left where it is,
// unapplied; a trusted one that does not fit is removed unapplied.
#pragma once

#include "engine/internal_header.h"

#include <optional>
#include <string>

#include "engine/reading/internal/opened_archive.h"
#include "engine/notices.h"
#include "support/host_entries.h"

// A journal that was acted on and does not read whole is kept under its name + this (then
// "-2", "-3" ...), out of the way of the next update: it is evidence of how the archive tore.
inline constexpr const char* kDamagedSuffix = ".damaged";

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

// What recovery did, and the journal it left where it was, if any.
struct TRecoveryResult {
    TRecovery outcome = TRecovery::NoJournal;
    std::optional<host::FileIdentity> left;
};

// RecoverArchive, telling which journal stays.
TRecoveryResult RecoverUnlessUpdating(TOpenedArchive& archive, TNotices* notices);

// Recovery from the journal at journalPath with the archive locked exclusively (or known to
// be absent): by an update of this process before it starts, or when it gives up.
TRecoveryResult RecoverLocked(const TOpenedArchive& archive, const std::string& journalPath, TNotices* notices);

// Removes the journal, the removal on the disk when this returns.
void RemoveJournal(const std::string& journalPath);
