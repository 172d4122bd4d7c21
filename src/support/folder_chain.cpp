#include "support/folder_chain.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "support/host_internal.h"

namespace host {

namespace {

// The folders from the start down that stay open while the walk is below them: going back
// up to one of them costs nothing, and the deepest open one is where a folder that ".."
// does not lead back to is opened again from.
constexpr size_t kHeldLevels = 16;

// Enough to go through a folder and look at it; listing it opens it for reading.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

int IdentityOf(int fd, FileIdentity& identity) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return errno;
    identity = internal::InfoOf(st).identity;
    return 0;
}

}  // namespace

FolderChain::~FolderChain() { Clear(); }

void FolderChain::Clear() {
    for (const Level& level : levels_)
        if (level.fd >= 0) ::close(level.fd);
    levels_.clear();
}

int FolderChain::Start(const std::string& path) {
    Clear();
    const int fd = internal::OpenPath(path.empty() ? "." : path, kFolderFlags, 0);
    if (fd < 0) return errno;
    Level start{path, {}, fd};
    if (const int code = IdentityOf(fd, start.identity)) {
        ::close(fd);
        return code;
    }
    levels_.push_back(std::move(start));
    return 0;
}

int FolderChain::Enter(const std::string& name) {
    const int fd = ::openat(Descriptor(), name.c_str(), kFolderFlags);
    if (fd < 0) return errno;
    Level level{name, {}, fd};
    if (const int code = IdentityOf(fd, level.identity)) {
        ::close(fd);
        return code;
    }
    Level& current = levels_.back();
    if (levels_.size() > kHeldLevels) {
        ::close(current.fd);
        current.fd = -1;
    }
    levels_.push_back(std::move(level));
    return 0;
}

int FolderChain::Leave() {
    if (levels_.size() < 2) return EINVAL;
    Level& up = levels_[levels_.size() - 2];
    if (up.fd < 0) {
        const int parent = ::openat(Descriptor(), "..", kFolderFlags);
        FileIdentity identity;
        if (parent >= 0 && IdentityOf(parent, identity) == 0 && identity == up.identity) {
            up.fd = parent;
        } else if (parent >= 0) {
            ::close(parent);
        }
    }
    ::close(levels_.back().fd);
    levels_.pop_back();
    if (levels_.back().fd >= 0) return 0;
    const int code = Reopen(levels_.size() - 1);
    if (code != 0) Clear();
    return code;
}

// Opens the folder at depth again, by name from the deepest open folder above it.
int FolderChain::Reopen(size_t depth) {
    size_t from = depth;
    while (levels_[from].fd < 0) --from;  // the start is always open
    for (size_t k = from + 1; k <= depth; ++k) {
        const int fd = ::openat(levels_[k - 1].fd, levels_[k].name.c_str(), kFolderFlags);
        if (fd < 0) return errno;
        if (k - 1 > from && k - 1 >= kHeldLevels) {
            ::close(levels_[k - 1].fd);
            levels_[k - 1].fd = -1;
        }
        levels_[k].fd = fd;
    }
    return 0;
}

DirListing FolderChain::List() const {
    const int fd = ::openat(Descriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return {.entries = {}, .errorCode = errno};
    return internal::ListOpenFolder(fd);
}

}  // namespace host
