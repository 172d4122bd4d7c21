// The updates this process runs, by archive (device and inode), so that an operation nested
// in an update joins it, and a read or a recovery inside one does not take its live journal
// for a left-over. Safe to use from any thread.
#pragma once

#include "engine/internal_header.h"

#include "support/host_entries.h"

// The journal of an update (update_journal.h): the registry only hands it back, never uses it.
class TUpdateJournal;

// The journal of the update this process runs on the archive; null when it runs none.
TUpdateJournal* RunningUpdateOf(const host::FileIdentity& archive);

// An update of the archive starts, or ends, in this process.
void AddRunningUpdate(const host::FileIdentity& archive, TUpdateJournal* journal);
void RemoveRunningUpdate(const host::FileIdentity& archive);
