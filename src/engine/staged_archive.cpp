#include "engine/internal/staged_archive.h"

#include <cerrno>
#include <cstring>

#include "engine/internal/update_journal.h"
#include "support/errors.h"

namespace {

// A file under the staging name that no build holds is what a killed build left. Any other
// kind of entry under that name (a link, say) is never a build's, and is removed as well.
void RemoveLeftOverStagingFile(const std::string& stagingPath) {
    if (host::NameExists(stagingPath)) host::RemoveFile(stagingPath);
}

// Waits, as the process waits for any lock, until the build that holds the staging file
// ends: renamed over its target or removed, the file is gone from the name.
void WaitForOtherBuild(const std::string& stagingPath) {
    try {
        const host::FileLock other(stagingPath, host::LockKind::Exclusive);
    } catch (const EFileBusy&) {
        throw;
    } catch (const EInOutError& error) {
        if (error.Code() != ENOENT) throw;
    }
}

[[noreturn]] void FailToCreate(const std::string& archivePath, int code) {
    throw EInOutError(code, "Cannot create file \"" + archivePath + "\": " + std::strerror(code));
}

// Only a missing name or a regular file may become an archive: a device, FIFO or socket in
// its place is something else's, and renaming over it would destroy it.
void RefuseSpecialFile(const std::string& archivePath, const host::EntryInfo& target) {
    if (target.kind != host::EntryKind::Other) return;
    throw EInOutError(EINVAL, "Cannot create file \"" + archivePath +
                                  "\": it is a device, FIFO or socket, not a file an archive can replace");
}

}  // namespace

TStagedArchive::TStagedArchive(const std::string& archivePath, TNotices* notices)
    : target_(StagingTargetOf(archivePath)), notices_(notices), stagingPath_(target_ + kStagingSuffix) {
    const host::EntryInfo old = host::Stat(target_);
    if (old.kind == host::EntryKind::Directory) FailToCreate(archivePath, EISDIR);
    RefuseSpecialFile(archivePath, old);
    const std::string directory = host::ParentDirectoryOf(target_);
    const host::EntryKind directoryKind = host::Stat(directory).kind;
    if (directoryKind == host::EntryKind::Missing) FailToCreate(archivePath, ENOENT);
    if (directoryKind != host::EntryKind::Directory) FailToCreate(archivePath, ENOTDIR);
    if (old.kind == host::EntryKind::File) replaced_ = old.identity;
    // The new file gets no more access than the archive it replaces has.
    const uint32_t permissions = old.kind == host::EntryKind::File ? host::OwnershipOf(target_).mode & 0666 : 0666;

    // Two builds of one target run one after the other: the second waits for the first.
    while (!CreateStagingFile(directory, permissions, archivePath)) WaitForOtherBuild(stagingPath_);
    identity_ = file_->Identity();
}

bool TStagedArchive::CreateStagingFile(const std::string& directory, uint32_t permissions,
                                       const std::string& archivePath) {
    // Builds of targets in one directory check for left-overs and create their files one
    // after the other, so a file is never taken for a left-over between its creation and
    // its lock.
    const host::FileLock directoryLock(directory, host::LockKind::Exclusive);
    if (IsBuilding(stagingPath_)) return false;
    RemoveLeftOverStagingFile(stagingPath_);
    // Its errors name the archive the user gave: the staging name is none the user chose.
    try {
        file_ = std::make_unique<HostFile>(stagingPath_, HostFile::Mode::CreateNew, permissions);
    } catch (const EInOutError& error) {
        FailToCreate(archivePath, error.Code());
    }
    file_->NameInMessages("file \"" + archivePath + "\"");
    // Created under the directory's lock, the file is this build's until the lock is taken.
    if (!host::FileLock::TryExclusive(*file_))
        throw EInOutError(EBUSY, "Cannot build \"" + target_ + "\": another build of it is running");
    return true;
}

TStagedArchive::~TStagedArchive() {
    if (committed_ || file_ == nullptr) return;
    // Removed while still locked, so no other build takes it for a left-over meanwhile.
    host::RemoveFileQuietly(stagingPath_);
}

void TStagedArchive::Commit() {
    file_->Flush();
    std::unique_ptr<host::FileLock> oldLock;
    // What stands under the target's name now is what the rename replaces.
    const host::EntryInfo current = host::Stat(target_);
    if (current.kind == host::EntryKind::Directory) FailToCreate(target_, EISDIR);
    RefuseSpecialFile(target_, current);
    if (current.kind == host::EntryKind::File) {
        file_->SetOwnership(host::OwnershipOf(target_));
        oldLock = std::make_unique<host::FileLock>(target_, host::LockKind::Exclusive);
    }
    // A journal left beside the old archive (or beside none) must not outlive it: the new
    // file could get the old one's inode number and take the journal for its own.
    RecoverArchive(target_, notices_);
    host::Rename(stagingPath_, target_);
    committed_ = true;
    host::FlushDirectoryOf(target_);
    file_->Close();
}
