#include "support/folder_cursor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "support/host_internal.h"

namespace host {

namespace {

using internal::Raise;

constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

FileIdentity IdentityOfOpenFolder(int fd, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) Raise("Cannot get the status of directory", path, errno);
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

bool IsLinkAt(int dirFd, const std::string& name) {
    struct stat st {};
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

FolderCursor::FolderCursor(const std::string& root) : root_(root) {
    rootFd_ = ::open(root.empty() ? "." : root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd_ < 0) Raise("Cannot open directory", root, errno);
}

FolderCursor::~FolderCursor() {
    if (fd_ >= 0) ::close(fd_);
    if (rootFd_ >= 0) ::close(rootFd_);
}

std::string FolderCursor::PathOf(const std::string& name) const {
    std::string path = root_;
    for (const Level& level : levels_) path += "/" + level.name;
    return name.empty() ? path : path + "/" + name;
}

// Climbs to the folder at that depth. A folder renamed away meanwhile makes ".." lead
// somewhere else; that is refused rather than written to.
void FolderCursor::GoUpTo(size_t depth) {
    if (depth >= levels_.size()) return;
    if (depth == 0) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        levels_.clear();
        return;
    }
    while (levels_.size() > depth) {
        const int parent = ::openat(fd_, "..", kFolderOpenFlags);
        if (parent < 0) Raise("Cannot open directory", PathOf(".."), errno);
        levels_.pop_back();
        ::close(fd_);
        fd_ = parent;
        if (!(IdentityOfOpenFolder(fd_, PathOf("")) == levels_.back().identity))
            Raise("Cannot open directory", PathOf(""), ESTALE);
    }
}

bool FolderCursor::GoDown(const std::string& name, std::string& problem) {
    const int parent = CurrentFd();
    int child = ::openat(parent, name.c_str(), kFolderOpenFlags);
    if (child < 0 && errno == ENOENT) {
        if (::mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST)
            Raise("Cannot create directory", PathOf(name), errno);
        child = ::openat(parent, name.c_str(), kFolderOpenFlags);
    }
    if (child < 0) {
        const int code = errno;
        if ((code == ENOTDIR || code == ELOOP) && IsLinkAt(parent, name)) {
            problem = "\"" + PathOf(name) + "\" is a symbolic link, which extraction does not follow";
            return false;
        }
        Raise("Cannot create directory", PathOf(name), code);
    }
    const FileIdentity identity = IdentityOfOpenFolder(child, PathOf(name));
    if (fd_ >= 0) ::close(fd_);
    fd_ = child;
    levels_.push_back({name, identity});
    return true;
}

bool FolderCursor::Enter(const std::vector<std::string>& components, std::string& problem) {
    size_t common = 0;
    while (common < levels_.size() && common < components.size() && levels_[common].name == components[common])
        ++common;
    GoUpTo(common);
    for (size_t k = common; k < components.size(); ++k)
        if (!GoDown(components[k], problem)) return false;
    return true;
}

std::unique_ptr<HostFile> FolderCursor::CreateFresh(const std::string& name, const FileIdentity& keep,
                                                    std::string& problem) {
    const int folder = CurrentFd();
    constexpr int kCreateFlags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    // Two tries: a name that is taken again between the removal and the creation belongs to
    // someone racing this extraction, and the file fails with that error.
    for (int attempt = 0;; ++attempt) {
        const int fd = ::openat(folder, name.c_str(), kCreateFlags, 0666);
        if (fd >= 0) return std::make_unique<HostFile>(fd, PathOf(name));
        const int code = errno;
        if (code != EEXIST || attempt > 0) Raise("Cannot open file", PathOf(name), code);

        struct stat own {};
        if (::fstatat(folder, name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
        struct stat reached {};
        const bool reaches = ::fstatat(folder, name.c_str(), &reached, 0) == 0;
        const auto identity = [](const struct stat& st) {
            return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
        };
        if (identity(own) == keep || (reaches && identity(reached) == keep)) {
            problem = "\"" + PathOf(name) + "\" is the archive being read";
            return nullptr;
        }
        if (S_ISDIR(own.st_mode)) Raise("Cannot open file", PathOf(name), EISDIR);
        if (::unlinkat(folder, name.c_str(), 0) != 0 && errno != ENOENT)
            Raise("Cannot remove file", PathOf(name), errno);
    }
}

}  // namespace host
