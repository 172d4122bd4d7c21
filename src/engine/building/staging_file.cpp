#include "engine/building/internal/staging_file.h"

#include <cstdio>
#include <cstring>
#include <random>

#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/host_lock.h"
#include "support/host_names.h"

namespace {

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// True for the name of a staging file of the target named targetName.
bool IsStagingName(const std::string& name, const std::string& targetName) {
    const std::string prefix = targetName + kStagingSuffix;
    if (name.size() != prefix.size() + kStagingRandomDigits || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (size_t i = prefix.size(); i < name.size(); ++i)
        if (!IsHexDigit(name[i])) return false;
    return true;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Beside(const std::string& target, const std::string& name) {
    const size_t slash = target.rfind('/');
    return slash == std::string::npos ? name : target.substr(0, slash + 1) + name;
}

// Why a left-over stays: the system's reason, and whose file it is when another user's.
std::string RefusalOf(const std::string& path, int code) {
    std::string reason = std::strerror(code);
    const host::EntryInfo entry = host::StatNoFollow(path);
    if (entry.kind == host::EntryKind::Missing) return reason;
    try {
        const uint32_t owner = host::OwnershipOf(path).user;
        if (owner != host::CurrentUser()) reason += "; it belongs to " + UserWords(owner);
    } catch (const EInOutError&) {
        // A link whose target is gone: its own owner is not worth an error.
    }
    return reason;
}

}  // namespace

std::string StagingTargetOf(const std::string& archivePath) {
    if (host::Stat(archivePath).kind == host::EntryKind::Missing) return archivePath;
    return host::ResolvedPath(archivePath);
}

std::string NewStagingPath(const std::string& target) {
    static std::random_device entropy;
    static_assert(kStagingRandomDigits == 12, "two draws make 12 hexadecimal digits");
    char digits[kStagingRandomDigits + 1];
    std::snprintf(digits, sizeof digits, "%06x%06x", static_cast<unsigned>(entropy() & 0xFFFFFF),
                  static_cast<unsigned>(entropy() & 0xFFFFFF));
    return target + kStagingSuffix + digits;
}

std::vector<std::string> StagingPathsOf(const std::string& target) {
    const std::string targetName = BaseName(target);
    std::vector<std::string> paths;
    for (const std::string& name :
         host::NamesStartingWith(host::ParentDirectoryOf(target), targetName + kStagingSuffix))
        if (IsStagingName(name, targetName)) paths.push_back(Beside(target, name));
    return paths;
}

bool IsBuilding(const std::string& stagingPath) {
    if (host::StatNoFollow(stagingPath).kind != host::EntryKind::File) return false;
    try {
        HostFile staging(stagingPath, HostFile::Mode::ReadNoLink);
        return !host::FileLock::TryExclusive(staging);
    } catch (const EInOutError& error) {
        // Gone meanwhile, or another user's that this process may not read: no build of ours.
        if (error.Code() == ENOENT || host::IsAccessRefused(error.Code())) return false;
        throw;
    }
}

void RemoveLeftOverBuildLocked(const std::string& target, TNotices* notices) {
    for (const std::string& stagingPath : StagingPathsOf(target)) {
        if (IsBuilding(stagingPath)) continue;
        // Another user's file in a shared folder, or a folder this process may not write:
        // the file stays, and the archive beside it is as good as before.
        try {
            host::RemoveFile(stagingPath);
        } catch (const EInOutError& error) {
            if (!host::IsAccessRefused(error.Code())) throw;
            NotifyOnce(notices, stagingPath, NoticeText("cannot remove", stagingPath, RefusalOf(stagingPath, error.Code())));
        }
    }
}

void RemoveLeftOverBuild(const std::string& archivePath, TNotices* notices) {
    RemoveLeftOverBuildBeside(StagingTargetOf(archivePath), notices);
}

void RemoveLeftOverBuildBeside(const std::string& target, TNotices* notices) {
    if (StagingPathsOf(target).empty()) return;
    const std::string directory = host::ParentDirectoryOf(target);
    if (host::Stat(directory).kind != host::EntryKind::Directory) return;
    // Builds of targets in one folder create their files under the folder's lock, so a file
    // is never taken for a left-over between its creation and its lock.
    try {
        const host::FileLock directoryLock(directory, host::LockKind::Exclusive);
        RemoveLeftOverBuildLocked(target, notices);
    } catch (const EInOutError& error) {
        if (!host::IsAccessRefused(error.Code())) throw;
        // A folder this process may not even open: nothing in it can be removed either.
        for (const std::string& stagingPath : StagingPathsOf(target))
            NotifyOnce(notices, stagingPath, NoticeText("cannot remove", stagingPath, RefusalOf(stagingPath, error.Code())));
    }
}

std::string UserWords(uint32_t user) {
    const std::string name = host::UserName(user);
    const std::string id = "uid " + std::to_string(user);
    return name.empty() ? id : name + " (" + id + ")";
}
