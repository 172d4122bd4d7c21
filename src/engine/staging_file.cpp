#include "engine/internal/staging_file.h"

#include <cstring>

#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/host_lock.h"

std::string StagingTargetOf(const std::string& archivePath) {
    if (host::Stat(archivePath).kind == host::EntryKind::Missing) return archivePath;
    return host::ResolvedPath(archivePath);
}

bool IsBuilding(const std::string& stagingPath) {
    if (host::StatNoFollow(stagingPath).kind != host::EntryKind::File) return false;
    HostFile staging(stagingPath, HostFile::Mode::ReadNoLink);
    return !host::FileLock::TryExclusive(staging);
}

void RemoveLeftOverBuild(const std::string& archivePath, TNotices* notices) {
    const std::string target = StagingTargetOf(archivePath);
    const std::string stagingPath = target + kStagingSuffix;
    if (!host::NameExists(stagingPath)) return;
    const std::string directory = host::ParentDirectoryOf(target);
    if (host::Stat(directory).kind != host::EntryKind::Directory) return;
    // Another user's file in a shared folder, or a folder this process may not write: the
    // file stays, and the archive beside it is as good as before.
    try {
        const host::FileLock directoryLock(directory, host::LockKind::Exclusive);
        if (host::NameExists(stagingPath) && !IsBuilding(stagingPath)) host::RemoveFile(stagingPath);
    } catch (const EInOutError& error) {
        if (!host::IsAccessRefused(error.Code())) throw;
        Notify(notices, stagingPath, NoticeText("cannot remove", stagingPath, std::strerror(error.Code())));
    }
}
