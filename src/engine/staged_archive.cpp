#include "engine/staged_archive.h"

#include <cerrno>
#include <cstring>

#include "engine/update_journal.h"
#include "support/errors.h"

namespace {

// The target itself when it is a link to an existing file, so that the link stays a link.
std::string ResolvedTarget(const std::string& archivePath) {
    if (host::Stat(archivePath).kind == host::EntryKind::Missing) return archivePath;
    return host::ResolvedPath(archivePath);
}

// A file under the staging name that no build holds is what a killed build left. Any other
// kind of entry under that name (a link, say) is never a build's, and is removed as well.
void RemoveLeftOverStagingFile(const std::string& stagingPath, const std::string& target) {
    const host::EntryInfo info = host::StatNoFollow(stagingPath);
    if (info.kind == host::EntryKind::Missing) return;
    if (info.kind == host::EntryKind::File) {
        HostFile stale(stagingPath, HostFile::Mode::ReadNoLink);
        if (!host::FileLock::TryExclusive(stale))
            throw EInOutError(EBUSY, "Cannot build \"" + target + "\": another build of it is running");
    }
    host::RemoveFile(stagingPath);
}

[[noreturn]] void FailToCreate(const std::string& archivePath, int code) {
    throw EInOutError(code, "Cannot create file \"" + archivePath + "\": " + std::strerror(code));
}

}  // namespace

TStagedArchive::TStagedArchive(const std::string& archivePath)
    : target_(ResolvedTarget(archivePath)), stagingPath_(target_ + kStagingSuffix) {
    const host::EntryInfo old = host::Stat(target_);
    if (old.kind == host::EntryKind::Directory) FailToCreate(archivePath, EISDIR);
    const std::string directory = host::ParentDirectoryOf(target_);
    const host::EntryKind directoryKind = host::Stat(directory).kind;
    if (directoryKind == host::EntryKind::Missing) FailToCreate(archivePath, ENOENT);
    if (directoryKind != host::EntryKind::Directory) FailToCreate(archivePath, ENOTDIR);
    if (old.kind == host::EntryKind::File) replaced_ = old.identity;
    // The new file gets no more access than the archive it replaces has.
    const uint32_t permissions = old.kind == host::EntryKind::File ? host::OwnershipOf(target_).mode & 0666 : 0666;

    // Builds of targets in one directory check for left-overs and create their files one
    // after the other, so a file is never taken for a left-over between its creation and
    // its lock.
    const host::FileLock directoryLock(directory, host::LockKind::Exclusive);
    RemoveLeftOverStagingFile(stagingPath_, target_);
    file_ = std::make_unique<HostFile>(stagingPath_, HostFile::Mode::CreateNew, permissions);
    if (!host::FileLock::TryExclusive(*file_))
        throw EInOutError(EBUSY, "Cannot build \"" + target_ + "\": another build of it is running");
    identity_ = file_->Identity();
}

TStagedArchive::~TStagedArchive() {
    if (committed_ || file_ == nullptr) return;
    // Removed while still locked, so no other build takes it for a left-over meanwhile.
    host::RemoveFileQuietly(stagingPath_);
}

void TStagedArchive::Commit() {
    file_->Flush();
    std::unique_ptr<host::FileLock> oldLock;
    if (host::Stat(target_).kind == host::EntryKind::File) {
        file_->SetOwnership(host::OwnershipOf(target_));
        oldLock = std::make_unique<host::FileLock>(target_, host::LockKind::Exclusive);
        RecoverArchive(target_);
    }
    host::Rename(stagingPath_, target_);
    committed_ = true;
    host::FlushDirectoryOf(target_);
    file_->Close();
}
