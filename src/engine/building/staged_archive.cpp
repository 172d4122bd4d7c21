#include "engine/building/internal/staged_archive.h"

#include <cerrno>
#include <cstring>

#include "engine/updating/internal/journal_recovery.h"
#include "support/errors.h"

namespace {

// Waits, as the process waits for any lock, until the build that holds the staging file of
// a new target ends: renamed over its target or removed, the file is gone from the name.
void WaitForOtherBuild(const std::string& stagingPath) {
    try {
        const host::FileLock other(stagingPath, host::LockKind::Exclusive);
    } catch (const EFileBusy&) {
        throw;
    } catch (const EInOutError& error) {
        if (error.Code() != ENOENT) throw;
    }
}

// Tries a few random names: another user may have planted one, however unlikely.
constexpr int kStagingNameAttempts = 16;

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
    : target_(StagingTargetOf(archivePath)), notices_(notices) {
    const std::string directory = host::ParentDirectoryOf(target_);
    for (;;) {
        const host::EntryInfo old = host::Stat(target_);
        if (old.kind == host::EntryKind::Directory) FailToCreate(archivePath, EISDIR);
        RefuseSpecialFile(archivePath, old);
        CheckDirectory(directory, archivePath);
        // The archive's lock first, before any work: writers of it run one after the other.
        if (old.kind == host::EntryKind::File && targetLock_ == nullptr)
            targetLock_ = std::make_unique<host::FileLock>(target_, host::LockKind::Exclusive);
        replaced_ = old.kind == host::EntryKind::File ? old.identity : host::FileIdentity{};
        // The new file gets no more access than the archive it replaces has.
        const uint32_t permissions =
            old.kind == host::EntryKind::File ? host::OwnershipOf(target_).mode & 0666 : 0666;
        std::string other;
        if (CreateStagingFile(directory, permissions, archivePath, other)) break;
        // Another build makes the target anew: this one waits for it, then takes the
        // archive it made.
        WaitForOtherBuild(other);
    }
    identity_ = file_->Identity();
}

TStagedArchive::TStagedArchive(TOpenedArchive& archive, TNotices* notices)
    : target_(archive.RealPath()), notices_(notices), archive_(&archive) {
    const std::string directory = host::ParentDirectoryOf(target_);
    CheckDirectory(directory, archive.Path());
    replaced_ = archive.Identity();
    // The new file gets no more access than the archive it replaces has.
    std::string other;
    CreateStagingFile(directory, archive.Ownership().mode & 0666, archive.Path(), other);
    identity_ = file_->Identity();
}

void TStagedArchive::CheckDirectory(const std::string& directory, const std::string& archivePath) {
    const host::EntryKind directoryKind = host::Stat(directory).kind;
    if (directoryKind == host::EntryKind::Missing) FailToCreate(archivePath, ENOENT);
    if (directoryKind != host::EntryKind::Directory) FailToCreate(archivePath, ENOTDIR);
}

bool TStagedArchive::CreateStagingFile(const std::string& directory, uint32_t permissions,
                                       const std::string& archivePath, std::string& other) {
    // Builds of targets in one directory check for left-overs and create their files one
    // after the other, so a file is never taken for a left-over between its creation and
    // its lock.
    const host::FileLock directoryLock(directory, host::LockKind::Exclusive);
    // Without the target's lock, a build of a new target orders itself after any other. A
    // build holding the lock never waits for a staging file: one that made its file before
    // the target existed waits for this lock to rename it, so waiting for it could not end.
    if (targetLock_ == nullptr && archive_ == nullptr) {
        for (const std::string& staging : StagingPathsOf(target_)) {
            if (!IsBuilding(staging)) continue;
            other = staging;
            return false;
        }
    }
    RemoveLeftOverBuildLocked(target_, notices_);
    for (int attempt = 0; file_ == nullptr; ++attempt) {
        stagingPath_ = NewStagingPath(target_);
        // Its errors name the archive the user gave: the staging name is none the user chose.
        try {
            file_ = std::make_unique<HostFile>(stagingPath_, HostFile::Mode::CreateNew, permissions);
        } catch (const EInOutError& error) {
            if (error.Code() != EEXIST || attempt + 1 == kStagingNameAttempts) FailToCreate(archivePath, error.Code());
        }
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
    if (archive_ != nullptr) {
        CommitOver(*archive_);
        return;
    }
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

// The archive has been held exclusively since before the new file was made: no writer has
// put another file under its name, and its journal was dealt with when it was locked.
void TStagedArchive::CommitOver(TOpenedArchive& archive) {
    file_->SetOwnership(archive.Ownership());
    // A journal left beside the old archive must not outlive it: the new file could get the
    // old one's inode number and take the journal for its own.
    RecoverArchive(archive, notices_);
    host::Rename(stagingPath_, target_);
    committed_ = true;
    host::FlushDirectoryOf(target_);
    file_->Close();
}
