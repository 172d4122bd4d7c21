// A new archive written beside its target and put in the target's place only when complete.
//
// The new archive grows in a staging file beside the target (staging_file.h: its name with a
// random part), created exclusively and never through a symbolic link. When it is complete
// it is flushed to disk, given the permission bits (and, where the process may, the owner) of
// the archive it replaces, and renamed over the target. Until then the old archive, or none,
// stays under the target's name; a build that ends early removes its file, and one that was
// killed leaves a file the next build of the same target, or the next open of it, removes.
//
// Writers of one target run one after the other. While the target exists, its own lock
// orders them: a build holds it exclusively from the start, before any work, as an update
// does, so that one told not to wait fails at once. A build of a target that does not exist
// yet holds its staging file's lock instead, and the next build of that target waits for it.
// No name another user can plant stands in the way of either.
#pragma once

#include "engine/internal_header.h"

#include <memory>
#include <string>

#include "engine/reading/internal/opened_archive.h"
#include "engine/building/internal/staging_file.h"
#include "engine/notices.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/host_lock.h"

class TStagedArchive {
public:
    // Takes the target's lock (or waits for another build of a new target), removes what
    // killed builds of the same target left and creates the new file. Raises when the
    // target is a directory. Waits as the process waits for a lock (host_lock.h).
    // What recovery leaves alone on the way is told in notices.
    explicit TStagedArchive(const std::string& archivePath, TNotices* notices = nullptr);
    // The new file of an edit of archive, a regular file that the caller has opened and holds
    // exclusively (TOpenedArchive::Lock) from before this until after Commit: nothing of the
    // target is looked up again, and only the rename names it.
    TStagedArchive(TOpenedArchive& archive, TNotices* notices);
    // Without Commit the new file is removed.
    ~TStagedArchive();
    TStagedArchive(const TStagedArchive&) = delete;
    TStagedArchive& operator=(const TStagedArchive&) = delete;

    HostFile& File() { return *file_; }
    // The new file, and the archive it is going to replace (none: {}). Neither is any
    // part of a tree that is packed.
    host::FileIdentity Identity() const { return identity_; }
    host::FileIdentity ReplacedIdentity() const { return replaced_; }

    // Flushes the new archive and puts it in the target's place. Waits while the old archive
    // is read or updated; an interrupted update of it is rolled back first, so that a failed
    // rename leaves it whole.
    void Commit();

private:
    // False, with the staging file of another build of the new target in other, while one runs.
    bool CreateStagingFile(const std::string& directory, uint32_t permissions, const std::string& archivePath,
                           std::string& other);
    // Raises unless directory is a folder the target can be created in.
    static void CheckDirectory(const std::string& directory, const std::string& archivePath);
    void CommitOver(TOpenedArchive& archive);

    std::string target_;
    std::unique_ptr<host::FileLock> targetLock_;
    TNotices* notices_;
    TOpenedArchive* archive_ = nullptr;  // the archive an edit replaces, locked by the caller
    std::string stagingPath_;
    std::unique_ptr<HostFile> file_;
    host::FileIdentity identity_;
    host::FileIdentity replaced_;
    bool committed_ = false;
};
