#include "support/folder_cursor.h"

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "support/host_internal.h"

namespace host {

namespace {

using internal::Raise;

constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The path of a folder is made only for the message of a failure: made at each step, it
// would cost a deep tree time that grows with the square of its depth.
template <typename PathMaker>
struct stat StatOfOpenFolder(int fd, const PathMaker& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int code = errno;
        Raise("Cannot get the status of directory", path(), code);
    }
    return st;
}

FileIdentity IdentityOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// The process's umask, read without setting it: umask() itself would change it for a moment
// under every other thread of the process. Where the system does not tell it, a mask that
// no file has (its bits above the permissions) makes every existing file differ from a new
// one, so that each is created afresh.
mode_t CurrentUmask() {
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ~mode_t{0};
    char text[4096];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return ~mode_t{0};
    text[n] = '\0';
    const char* line = std::strstr(text, "\nUmask:");
    if (line == nullptr) return ~mode_t{0};
    char* end = nullptr;
    const unsigned long mask = std::strtoul(line + 7, &end, 8);
    return end == line + 7 ? ~mode_t{0} : static_cast<mode_t>(mask);
}

bool IsLinkAt(int dirFd, const std::string& name) {
    struct stat st {};
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

FolderCursor::FolderCursor(const std::string& root) : root_(root) {
    rootFd_ = ::open(root.empty() ? "." : root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd_ < 0) Raise("Cannot open directory", root, errno);
    const struct stat st = StatOfOpenFolder(rootFd_, [&root] { return root; });
    rootGroupRule_ = {(st.st_mode & S_ISGID) != 0, static_cast<uint32_t>(st.st_gid)};
    const mode_t mask = CurrentUmask();
    newFileMode_ = (mask & ~mode_t{0777}) != 0 ? ~uint32_t{0} : static_cast<uint32_t>(0666 & ~mask);
    user_ = static_cast<uint32_t>(::geteuid());
    group_ = static_cast<uint32_t>(::getegid());
}

FolderCursor::~FolderCursor() {
    if (fd_ >= 0) ::close(fd_);
    if (rootFd_ >= 0) ::close(rootFd_);
}

std::string FolderCursor::PathOf(const std::string& name) const {
    // Made for every file an extraction creates: one allocation, however deep the folder.
    size_t length = root_.size() + name.size() + 1;
    for (const Level& level : levels_) length += level.name.size() + 1;
    std::string path;
    path.reserve(length);
    path = root_;
    for (const Level& level : levels_) {
        path += '/';
        path += level.name;
    }
    if (!name.empty()) {
        path += '/';
        path += name;
    }
    return path;
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
        if (!(IdentityOf(StatOfOpenFolder(fd_, [this] { return PathOf(""); })) == levels_.back().identity))
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
    const struct stat st = StatOfOpenFolder(child, [this, &name] { return PathOf(name); });
    if (fd_ >= 0) ::close(fd_);
    fd_ = child;
    levels_.push_back({name, IdentityOf(st), {(st.st_mode & S_ISGID) != 0, static_cast<uint32_t>(st.st_gid)}});
    return true;
}

bool FolderCursor::Enter(const std::vector<std::string>& components, std::string& problem) {
    return Enter(components, 0, problem);
}

bool FolderCursor::Enter(const std::vector<std::string>& components, size_t known, std::string& problem) {
    // What the cursor stands in of the components asked for last: after a link in the way it
    // stands above the rest.
    size_t common = std::min({known, levels_.size(), components.size()});
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
        if (IdentityOf(own) == keep || (reaches && IdentityOf(reached) == keep)) {
            problem = "\"" + PathOf(name) + "\" is the archive being read";
            return nullptr;
        }
        if (S_ISDIR(own.st_mode)) {
            problem = "a folder of that name stands in its place";
            return nullptr;
        }
        if (::unlinkat(folder, name.c_str(), 0) != 0 && errno != ENOENT)
            Raise("Cannot remove file", PathOf(name), errno);
    }
}

bool FolderCursor::MatchesNewFile(const struct stat& st) const {
    const GroupRule& rule = levels_.empty() ? rootGroupRule_ : levels_.back().groupRule;
    const uint32_t group = rule.inherits ? rule.group : group_;
    return S_ISREG(st.st_mode) && st.st_nlink == 1 && (st.st_mode & 07777) == newFileMode_ && st.st_uid == user_ &&
           st.st_gid == group;
}

std::unique_ptr<HostFile> FolderCursor::Rewrite(const std::string& name, const FileIdentity& keep,
                                                std::string& problem, int64_t& oldSize) {
    oldSize = 0;
    const int folder = CurrentFd();
    constexpr int kCreateFlags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    const int created = ::openat(folder, name.c_str(), kCreateFlags, 0666);
    if (created >= 0) return std::make_unique<HostFile>(created, PathOf(name));
    if (errno == EEXIST) {
        // Looked at before it is opened, so that nothing but a plain file of ours is ever
        // opened (opening a device or a FIFO can act on it), and looked at again once open,
        // since the name may have been given to another file in between.
        struct stat before {};
        if (::fstatat(folder, name.c_str(), &before, AT_SYMLINK_NOFOLLOW) == 0 && MatchesNewFile(before) &&
            !(IdentityOf(before) == keep)) {
            hooks::BeforeOpeningExisting(folder, name);
            const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                struct stat opened {};
                if (::fstat(fd, &opened) == 0 && IdentityOf(opened) == IdentityOf(before) && MatchesNewFile(opened)) {
                    oldSize = opened.st_size;
                    return std::make_unique<HostFile>(fd, PathOf(name));
                }
                ::close(fd);
            }
        }
    }
    return CreateFresh(name, keep, problem);
}

}  // namespace host
