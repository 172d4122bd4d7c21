#include "support/host_entries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "support/host_internal.h"

namespace host {

namespace {

using internal::InjectedError;
using internal::InfoOf;
using internal::Raise;

// File system types that are remote or optical (statfs f_type values).
constexpr long kRefusedFileSystems[] = {
    0x6969,      // NFS
    0x517B,      // SMB
    0xFF534D42,  // CIFS
    0xFE534D42,  // SMB2
    0x5346414F,  // AFS
    0x01021997,  // 9P
    0x73757245,  // Coda
    0x564C,      // NCP
    0x9660,      // ISO 9660
    0x15013346,  // UDF
};

}  // namespace

EntryInfo Stat(const std::string& path) {
    struct stat st {};
    if (path.empty()) return {.errorCode = ENOENT};
    if (internal::StatPath(path, st, true) != 0) return {.errorCode = errno};
    return InfoOf(st);
}

EntryInfo StatNoFollow(const std::string& path) {
    struct stat st {};
    if (path.empty()) return {.errorCode = ENOENT};
    if (internal::StatPath(path, st, false) != 0) return {.errorCode = errno};
    return InfoOf(st);
}

DirListing ListDirectory(const std::string& dir) {
    const int fd = internal::OpenPath(dir.empty() ? "." : dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) return {.entries = {}, .errorCode = errno};
    return internal::ListOpenFolder(fd);
}

std::string ErrorText(int code) { return std::strerror(code); }

bool MakeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0;
}

bool IsLocalWritableMedium(const std::string& path) {
    std::string probe = path.empty() ? "." : path;
    struct statfs fs {};
    while (::statfs(probe.c_str(), &fs) != 0) {
        const size_t slash = probe.find_last_of('/');
        if (slash == std::string::npos) probe = ".";
        else if (slash == 0) probe = "/";
        else probe.resize(slash);
        if (probe == "." || probe == "/") {
            if (::statfs(probe.c_str(), &fs) != 0) return false;
            break;
        }
    }
    for (long refused : kRefusedFileSystems)
        if (static_cast<unsigned long>(fs.f_type) == static_cast<unsigned long>(refused)) return false;
    return true;
}

bool NameExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && internal::StatPath(path, st, false) == 0;
}

std::string ResolvedPath(const std::string& path) {
    if (path.empty()) return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string result = resolved;
    std::free(resolved);
    return result;
}

std::string ParentDirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void Rename(const std::string& from, const std::string& to) {
    if (const int injected = InjectedError(hooks::Operation::Rename)) Raise("Cannot rename a file to", to, injected);
    if (::rename(from.c_str(), to.c_str()) != 0) Raise("Cannot rename a file to", to, errno);
    hooks::AfterChange({.change = hooks::Change::Rename, .path = &from, .to = &to});
}

bool RemoveFile(const std::string& path) {
    if (const int injected = InjectedError(hooks::Operation::Remove)) Raise("Cannot remove file", path, injected);
    if (::unlink(path.c_str()) == 0) {
        hooks::AfterChange({.change = hooks::Change::Remove, .path = &path});
        return true;
    }
    if (errno == ENOENT) return false;
    Raise("Cannot remove file", path, errno);
}

bool RemoveFileQuietly(const std::string& path) {
    if (InjectedError(hooks::Operation::Remove) != 0) return false;
    if (::unlink(path.c_str()) != 0) return false;
    hooks::AfterChange({.change = hooks::Change::Remove, .path = &path});
    return true;
}

void FlushDirectoryOf(const std::string& path) {
    const std::string dir = ParentDirectoryOf(path);
    bool skipped = false;
    if (const int injected = InjectedError(hooks::Operation::Flush, &skipped))
        Raise("Cannot flush directory", dir, injected);
    if (skipped) {
        hooks::AfterChange({.change = hooks::Change::FlushDirectory, .path = &dir});
        return;
    }
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) Raise("Cannot open directory", dir, errno);
    const int result = ::fsync(fd);
    const int code = errno;
    ::close(fd);
    // Some file systems cannot flush a directory; their names are as safe as they get.
    if (result != 0 && code != EINVAL && code != ENOTSUP) Raise("Cannot flush directory", dir, code);
    if (result == 0) hooks::AfterChange({.change = hooks::Change::FlushDirectory, .path = &dir});
}

FileOwnership OwnershipOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) Raise("Cannot get the status of file", path, errno);
    return {static_cast<uint32_t>(st.st_mode & 07777), static_cast<uint32_t>(st.st_uid),
            static_cast<uint32_t>(st.st_gid)};
}

uint32_t CurrentUser() { return static_cast<uint32_t>(::geteuid()); }

bool IsAccessRefused(int code) { return code == EACCES || code == EPERM || code == EROFS; }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace host
