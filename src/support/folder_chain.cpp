// Folders read down by descriptor (folder_chain.h), and through them paths longer than the
// kernel takes (PATH_MAX): a folder tree may be deeper than any path to its bottom can be
// long, and vpak reads every tree it can list. A chain starts at a path opened as any path
// is (OpenPath), and a long path is opened from the folders of a chain: the two are one.
#include "support/folder_chain.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <vector>

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

namespace {

// The folders of the path resolved last on this thread. Files are read in the order of a
// walk, so the next path mostly shares all but its last few folders with the last one: the
// folders it shares are found by comparing bytes, and only the others are entered anew.
struct TResolvedFolders {
    FolderChain chain;
    bool absolute = false;
    std::string folder;         // the path of the chain's folder, as the last path gave it
    std::vector<size_t> ends;   // where the name of the chain's folder at depth k + 1 ends in folder
};

thread_local TResolvedFolders resolved;

void Forget() {
    resolved.chain.Clear();
    resolved.folder.clear();
    resolved.ends.clear();
}

// Whether the chain still stands where a path starting as this one does starts.
bool StartsAsBefore(bool absolute) {
    if (resolved.chain.Empty() || resolved.absolute != absolute) return false;
    if (absolute) return true;
    struct stat st {};
    return ::stat(".", &st) == 0 && internal::InfoOf(st).identity == resolved.chain.IdentityAt(0);
}

// The folders of the chain that folder names too: those whose names end where the same bytes
// of folder end a component.
size_t SharedDepth(std::string_view folder) {
    const std::string& before = resolved.folder;
    const size_t length = std::min(before.size(), folder.size());
    const size_t common = static_cast<size_t>(
        std::mismatch(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(length), folder.begin()).first -
        before.begin());
    size_t depth = resolved.ends.size();
    while (depth > 0) {
        const size_t end = resolved.ends[depth - 1];
        if (end <= common && (end == folder.size() || folder[end] == '/')) break;
        --depth;
    }
    return depth;
}

// A descriptor of the folder that holds the path's last component, which goes to last; the
// descriptor stays the chain's. -1 with errno when a folder on the way cannot be entered.
int FolderHolding(const std::string& path, std::string& last) {
    const bool absolute = !path.empty() && path[0] == '/';
    size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') --end;
    const size_t slash = end == 0 ? std::string::npos : path.rfind('/', end - 1);
    const std::string_view folder(path.data(), slash == std::string::npos ? 0 : slash);
    last = path.substr(slash == std::string::npos ? 0 : slash + 1, end - (slash == std::string::npos ? 0 : slash + 1));
    if (last.empty()) last = ".";
    FolderChain& chain = resolved.chain;
    if (!StartsAsBefore(absolute)) {
        Forget();
        if (const int code = chain.Start(absolute ? "/" : ".")) {
            errno = code;
            return -1;
        }
        resolved.absolute = absolute;
    }
    const size_t shared = SharedDepth(folder);
    while (chain.Depth() > shared) {
        if (const int code = chain.Leave()) {
            Forget();
            errno = code;
            return -1;
        }
        resolved.ends.pop_back();
    }
    for (size_t at = shared == 0 ? 0 : resolved.ends.back(); at < folder.size();) {
        if (folder[at] == '/') {
            ++at;
            continue;
        }
        size_t next = folder.find('/', at);
        if (next == std::string_view::npos) next = folder.size();
        const std::string_view name = folder.substr(at, next - at);
        if (name != ".") {
            if (const int code = chain.Enter(std::string(name))) {
                resolved.folder.assign(folder.substr(0, resolved.ends.empty() ? 0 : resolved.ends.back()));
                errno = code;
                return -1;
            }
            resolved.ends.push_back(next);
        }
        at = next;
    }
    resolved.folder.assign(folder);
    return chain.Descriptor();
}

}  // namespace

void ForgetFolders() { Forget(); }

namespace internal {

int OpenPath(const std::string& path, int flags, mode_t mode) {
    const int fd = ::open(path.c_str(), flags, mode);
    if (fd >= 0 || errno != ENAMETOOLONG) return fd;
    std::string last;
    const int folder = FolderHolding(path, last);
    return folder < 0 ? -1 : ::openat(folder, last.c_str(), flags, mode);
}

int StatPath(const std::string& path, struct stat& st, bool followLink) {
    const int result = followLink ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (result == 0 || errno != ENAMETOOLONG) return result;
    std::string last;
    const int folder = FolderHolding(path, last);
    return folder < 0 ? -1 : ::fstatat(folder, last.c_str(), &st, followLink ? 0 : AT_SYMLINK_NOFOLLOW);
}

DirListing ListOpenFolder(int fd) {
    DirListing listing;
    DIR* d = ::fdopendir(fd);
    if (d == nullptr) {
        listing.errorCode = errno;
        ::close(fd);
        return listing;
    }
    for (;;) {
        // readdir reports the end and an error alike with null; only errno tells them apart.
        errno = 0;
        const dirent* e = ::readdir(d);
        if (e == nullptr) {
            listing.errorCode = errno;
            break;
        }
        const std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        DirEntry entry;
        entry.name = name;
        struct stat st {};
        if (::fstatat(fd, e->d_name, &st, 0) == 0) {
            entry.info = InfoOf(st);
        } else {
            // Listed, never readable: a link whose target is missing or cannot be looked at
            // says so, anything else is what it is.
            const int code = errno;
            entry.info.kind = EntryKind::Other;
            entry.info.errorCode = code;
            entry.info.danglingLink = ::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
        }
        listing.entries.push_back(std::move(entry));
    }
    ::closedir(d);
    return listing;
}

}  // namespace internal

}  // namespace host
