// A new archive written beside its target and put in the target's place only when complete.
//
// The new archive grows in a file of the target's name + ".vpak-new", created exclusively
// and never through a symbolic link. When it is complete it is flushed to disk, given the
// permission bits (and, where the process may, the owner) of the archive it replaces, and
// renamed over the target. Until then the old archive, or none, stays under the target's
// name; a build that ends early removes its file, and one that was killed leaves a file the
// next build of the same target removes.
#pragma once

#include <memory>
#include <string>

#include "engine/internal/staging_file.h"
#include "engine/notices.h"
#include "support/host_entries.h"
#include "support/host_file.h"

class TStagedArchive {
public:
    // Removes what a killed build of the same target left and creates the new file. Raises
    // when the target is a directory. While another build of the same target runs it waits,
    // as the process waits for a lock (host_lock.h).
    // What recovery leaves alone on the way is told in notices.
    explicit TStagedArchive(const std::string& archivePath, TNotices* notices = nullptr);
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
    // False while another build holds the staging file.
    bool CreateStagingFile(const std::string& directory, uint32_t permissions, const std::string& archivePath);

    std::string target_;
    TNotices* notices_;
    std::string stagingPath_;
    std::unique_ptr<HostFile> file_;
    host::FileIdentity identity_;
    host::FileIdentity replaced_;
    bool committed_ = false;
};
