// An archive as one operation opens it: its name looked up once (host::NamedFile), and from
// that lookup the file's identity, the descriptor it is read through, its lock, and where its
// journal and a build's staged files lie. The operation hands it down; the layers below it
// (reading, recovery, the update's journal, the staged file of an edit) work from it and
// never look the name up again, so that no other file can stand under the name between them.
#pragma once

#include "engine/internal_header.h"

#include <memory>
#include <string>

#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/host_lock.h"
#include "support/named_file.h"

// An update's journal (update_journal.h) lies beside the archive's file under its name +
// this.
inline constexpr const char* kJournalSuffix = ".vpak-journal";

// Where the journal of an archive lies: beside the file the path names, links resolved
// (TOpenedArchive::JournalPath, for an archive looked up once).
std::string JournalPathOf(const std::string& archivePath);

class TOpenedArchive {
public:
    explicit TOpenedArchive(const std::string& path) : named_(path) {}
    TOpenedArchive(const TOpenedArchive&) = delete;
    TOpenedArchive& operator=(const TOpenedArchive&) = delete;

    // As the user gave it: messages name it.
    const std::string& Path() const { return named_.Path(); }
    const host::NamedFile& Named() const { return named_; }
    // What the name stood for when it was looked up (or looked up again by Lock).
    const host::EntryInfo& Info() const { return named_.Info(); }
    bool IsFile() const { return named_.Info().kind == host::EntryKind::File; }
    host::FileIdentity Identity() const { return named_.Info().identity; }
    host::FileOwnership Ownership() const { return named_.Ownership(); }
    // Why the name stands for no file an archive can be read from, in words for the user
    // ("" when it names one). A FIFO, socket or device holds no archive.
    std::string Problem() const;

    // The file the path names, links resolved (the path itself when it names nothing): its
    // journal and the files a build stages lie beside it.
    const std::string& RealPath() const { return named_.Resolved(); }
    std::string JournalPath() const;

    // The descriptor the archive is read through, opened on first use; raises as opening the
    // path would (a file this process may not read).
    HostFile& Reader();
    // A descriptor of its own (Read, ReadWrite).
    std::unique_ptr<HostFile> Open(HostFile::Mode mode) const { return std::make_unique<HostFile>(named_, mode); }

    // Locks the archive, waiting as the process waits for locks (host_lock.h). Once the lock
    // is held, the name is asked again whether it still stands for the file locked: always
    // for an exclusive lock, whose holder goes on to change the archive or put another in its
    // place, and after a wait for a shared one (a reader that got its lock at once reads an
    // archive that was whole when it looked). When it does not, the name is looked up again
    // and the file it stands for now is locked instead; raises as opening it would when it
    // names no file.
    std::unique_ptr<host::FileLock> Lock(host::LockKind kind);

private:
    host::NamedFile named_;
    std::unique_ptr<HostFile> reader_;
};
