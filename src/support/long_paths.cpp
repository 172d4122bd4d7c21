// Paths longer than the kernel takes (PATH_MAX): a folder tree may be deeper than any path
// to its bottom can be long, and vpak reads every tree it can list.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "support/folder_chain.h"
#include "support/host_internal.h"

namespace host {

namespace {

// The folders of the path resolved last on this thread. Files are read in the order of a
// walk, so the next path mostly shares all but its last few folders with the last one.
struct TResolvedFolders {
    FolderChain chain;
    bool absolute = false;
};

thread_local TResolvedFolders resolved;

// The components of path, empty and "." ones left out.
std::vector<std::string_view> ComponentsOf(const std::string& path) {
    std::vector<std::string_view> parts;
    const std::string_view text = path;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('/', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view part = text.substr(start, end - start);
        if (!part.empty() && part != ".") parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

// Whether the chain still stands where a path starting as this one does starts.
bool StartsAsBefore(bool absolute) {
    if (resolved.chain.Empty() || resolved.absolute != absolute) return false;
    if (absolute) return true;
    struct stat st {};
    return ::stat(".", &st) == 0 && internal::InfoOf(st).identity == resolved.chain.IdentityAt(0);
}

// A descriptor of the folder that holds the path's last component, which goes to last; the
// descriptor stays the chain's. -1 with errno when a folder on the way cannot be entered.
int FolderHolding(const std::string& path, std::string& last) {
    const bool absolute = !path.empty() && path[0] == '/';
    std::vector<std::string_view> parts = ComponentsOf(path);
    last = parts.empty() ? "." : std::string(parts.back());
    if (!parts.empty()) parts.pop_back();
    FolderChain& chain = resolved.chain;
    if (!StartsAsBefore(absolute)) {
        if (const int code = chain.Start(absolute ? "/" : ".")) {
            errno = code;
            return -1;
        }
        resolved.absolute = absolute;
    }
    size_t common = 0;
    while (common < parts.size() && common < chain.Depth() && parts[common] == chain.NameAt(common + 1)) ++common;
    while (chain.Depth() > common) {
        if (const int code = chain.Leave()) {
            errno = code;
            return -1;
        }
    }
    for (size_t k = common; k < parts.size(); ++k) {
        if (const int code = chain.Enter(std::string(parts[k]))) {
            errno = code;
            return -1;
        }
    }
    return chain.Descriptor();
}

}  // namespace

void ForgetFolders() { resolved.chain.Clear(); }

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
