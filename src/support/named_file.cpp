#include "support/named_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

#include "support/host_internal.h"

namespace host {

namespace {

// The name the system gives a descriptor's file: the path it lies under now.
std::string ProcessDescriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Where the file an open descriptor stands for lies; "" when the system does not tell (no
// /proc, a path longer than it gives, a file removed meanwhile).
std::string PathOfDescriptor(int fd) {
    std::string path(PATH_MAX, '\0');
    const ssize_t length = ::readlink(ProcessDescriptorPath(fd).c_str(), path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size()) return "";
    path.resize(static_cast<size_t>(length));
    if (path[0] != '/' || path.ends_with(" (deleted)")) return "";
    return path;
}

// realpath of the folder that holds a file, and the file's own name behind it: the file is
// no link, so that is where it lies. The path itself when the folder cannot be resolved.
std::string ResolvedBeside(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    char* resolved = ::realpath(folder.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string result = resolved;
    std::free(resolved);
    if (result.back() != '/') result += '/';
    return result + name;
}

}  // namespace

namespace internal {

int ReopenDescriptor(int fd, int flags, const std::string& path) {
    const int reopened = ::open(ProcessDescriptorPath(fd).c_str(), flags | O_CLOEXEC);
    if (reopened >= 0 || errno != ENOENT) return reopened;
    // Without /proc: by the name, and only while it still names the same file.
    struct stat wanted {};
    if (::fstat(fd, &wanted) != 0) return -1;
    const int byName = OpenPath(path, flags | O_CLOEXEC, 0);
    if (byName < 0) return -1;
    struct stat got {};
    if (::fstat(byName, &got) == 0 && InfoOf(got).identity == InfoOf(wanted).identity) return byName;
    ::close(byName);
    errno = ESTALE;
    return -1;
}

}  // namespace internal

NamedFile::NamedFile(std::string path) : path_(std::move(path)) { LookUp(); }

NamedFile::~NamedFile() { Close(); }

void NamedFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void NamedFile::LookUp() {
    Close();
    info_ = {};
    resolved_ = path_;
    if (path_.empty()) {
        info_.errorCode = ENOENT;
        return;
    }
    // O_PATH opens nothing: a FIFO's writer is not woken, a device's driver not called.
    int fd = internal::OpenPath(path_, O_PATH | O_NOFOLLOW | O_CLOEXEC, 0);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISLNK(st.st_mode)) {
        ::close(fd);
        fd = internal::OpenPath(path_, O_PATH | O_CLOEXEC, 0);
        if (fd >= 0 && ::fstat(fd, &st) != 0) {
            ::close(fd);
            fd = -1;
        }
        if (fd >= 0) {
            fd_ = fd;
            info_ = internal::InfoOf(st);
            const std::string told = PathOfDescriptor(fd_);
            resolved_ = told.empty() ? ResolvedPath(path_) : told;
            return;
        }
    }
    if (fd < 0) {
        info_.errorCode = errno;
        return;
    }
    fd_ = fd;
    info_ = internal::InfoOf(st);
    resolved_ = info_.kind == EntryKind::File ? ResolvedBeside(path_) : ResolvedPath(path_);
}

void NamedFile::LookUpAgain() { LookUp(); }

bool NamedFile::StillNamed() const {
    struct stat st {};
    return internal::StatPath(path_, st, true) == 0 && internal::InfoOf(st).identity == info_.identity;
}

FileOwnership NamedFile::Ownership() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        internal::Raise("Cannot get the status of file", path_, fd_ < 0 ? info_.errorCode : errno);
    return {static_cast<uint32_t>(st.st_mode & 07777), static_cast<uint32_t>(st.st_uid),
            static_cast<uint32_t>(st.st_gid)};
}

int NamedFile::OpenDescriptor(int flags) const {
    if (fd_ < 0) {
        errno = info_.errorCode != 0 ? info_.errorCode : ENOENT;
        return -1;
    }
    return internal::ReopenDescriptor(fd_, flags, path_);
}

}  // namespace host
