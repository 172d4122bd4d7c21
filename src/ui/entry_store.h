// Storing a file of the host as the new content of one entry an archive already holds: the
// file opened from the tree and changed in another program, or an entry edited in the window.
// A PC archive is updated in place, as "&Replace1" updates it (the journal keeps it whole); an
// Xbox 360 archive, which has no in-place updating, is edited as an added file replaces its
// entry. The archive is the one the entry was taken from or nothing is stored: another file
// put under its name since, or the entry gone from it, is told, never written to.
#pragma once

#include <string>

#include "engine/notices.h"
#include "support/entry_info.h"
#include "support/progress.h"
#include "ui/engine_calls.h"

struct TEntryStoreRequest {
    bool xbox = false;
    std::string archivePath;
    // The archive file the entry was taken from (host::Stat's identity then): a different
    // file under archivePath now is refused.
    host::FileIdentity archiveIdentity;
    std::string entryPath;  // the entry's archive path, exactly as the archive holds it
    std::string filePath;   // the host file that holds the new content
    // The file holds the text of a .loc string table (as extraction with AutoConvertLOCfiles
    // gives it): the table of that text is stored. Otherwise its bytes are stored as they are.
    bool locText = false;
    ProgressProc progress;
    TNotices* notices = nullptr;  // what the engine told
};

enum class TEntryStoreOutcome {
    Stored,
    Failed,           // the engine's operation failed: its notices say why
    ArchiveReplaced,  // another file (or none) is under the archive's path now
    EntryGone,        // the archive no longer holds the entry
    Unreadable,       // the file, or its .loc text, could not be made into the content to store
};

struct TEntryStoreResult {
    TEntryStoreOutcome outcome = TEntryStoreOutcome::Failed;
    // Why nothing was stored, in words for the user, for every outcome but Stored and Failed.
    std::string reason;
    // The archive's identity afterwards: an Xbox 360 archive is written anew, as a new file.
    host::FileIdentity archiveIdentity;

    bool Stored() const { return outcome == TEntryStoreOutcome::Stored; }
};

// Stores request.filePath as the content of request.entryPath through the engine's calls
// (ReplaceOneFile for a PC archive, AddToArchive for an Xbox 360 one).
TEntryStoreResult StoreEntry(const TEngineCalls& engine, const TEntryStoreRequest& request);

// `"PATH" is not in the archive any more: nothing was stored.` and the like: the reasons
// StoreEntry gives, for whoever wants to recognise one.
std::string EntryGoneReason(const std::string& entryPath);
std::string ArchiveReplacedReason(const std::string& archivePath);
