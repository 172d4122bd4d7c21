#include "support/private_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <random>
#include <utility>

namespace host {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kNameTries = 100;

FileIdentity IdentityOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

bool IdentityOfOpen(int fd, FileIdentity& identity) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    identity = IdentityOf(st);
    return true;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// Why others could change the names in a folder of that status: "" when they cannot.
std::string WhyShared(const struct stat& st) {
    if (st.st_uid != ::geteuid() && st.st_uid != 0) return "belongs to another user";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0)
        return "is writable by others and not sticky";
    return "";
}

// Opens folder through its real path, entering each folder from its parent without
// following a link and checking each on the way, so that the descriptor stands for what
// was checked whatever the names do later. -1 when one will not do: reason says why.
int OpenUnsharedFolder(const std::string& folder, std::string& realPath, std::string& reason) {
    char* resolved = ::realpath(folder.c_str(), nullptr);
    if (resolved == nullptr) {
        reason = "cannot be reached: " + ErrorText(errno);
        return -1;
    }
    realPath = resolved;
    std::free(resolved);
    int fd = ::open("/", kFolderFlags);
    std::string reached;
    size_t start = 1;
    for (;;) {
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            reason = "cannot be reached: " + ErrorText(errno);
            if (fd >= 0) ::close(fd);
            return -1;
        }
        const std::string why = WhyShared(st);
        if (!why.empty()) {
            ::close(fd);
            const std::string subject = reached.size() == realPath.size() || realPath == "/"
                                            ? "it "
                                            : "the folder " + Quoted(reached.empty() ? "/" : reached) + " above it ";
            reason = "may be changed by other users: " + subject + why;
            return -1;
        }
        if (start >= realPath.size()) return fd;
        const size_t end = std::min(realPath.find('/', start), realPath.size());
        const std::string component = realPath.substr(start, end - start);
        const int next = ::openat(fd, component.c_str(), kFolderFlags);
        const int code = errno;
        ::close(fd);
        fd = next;
        errno = code;
        reached = realPath.substr(0, end);
        start = end + 1;
    }
}

std::string RandomLetters(size_t count) {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[16] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // The name only has to be new (mkdirat refuses a taken one), not secret.
        std::random_device device;
        for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(device());
    }
    std::string letters;
    for (size_t k = 0; k < count; ++k) letters += kLetters[bytes[k % sizeof bytes] % (sizeof kLetters - 1)];
    return letters;
}

// Makes a new folder of mode 0700 in the open folder parent: its name, or "" with errno set.
std::string MakeFolderIn(int parent, const std::string& prefix) {
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        const std::string name = prefix + RandomLetters(6);
        if (::mkdirat(parent, name.c_str(), 0700) == 0) return name;
        if (errno != EEXIST) return "";
    }
    return "";
}

// A folder being removed: its name in its parent, its identity, and the folders found in it
// that are still to be removed.
struct TreeLevel {
    std::string name;
    FileIdentity identity;
    std::vector<std::string> folders;
};

// Removes folders below one folder without following links; remembers the first failure.
class TreeRemoval {
public:
    TreeRemoval(std::string path, std::string& problem) : path_(std::move(path)), problem_(problem) {}

    // Removes everything in the open folder fd but its folders, whose names it keeps.
    void ClearFiles(int fd, std::vector<TreeLevel>& levels) {
        const int listed = ::dup(fd);
        DIR* dir = listed < 0 ? nullptr : ::fdopendir(listed);
        if (dir == nullptr) {
            const int code = errno;
            if (listed >= 0) ::close(listed);
            Fail(levels, "", code);
            return;
        }
        std::vector<std::string> others;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            if (IsFolder(fd, *entry)) levels.back().folders.push_back(name);
            else others.push_back(name);
        }
        ::closedir(dir);
        // A link goes as itself: unlinkat never follows one.
        for (const std::string& name : others)
            if (::unlinkat(fd, name.c_str(), 0) != 0 && errno != ENOENT) Fail(levels, name, errno);
    }

    void Fail(const std::vector<TreeLevel>& levels, const std::string& name, int code) {
        ok_ = false;
        if (!problem_.empty()) return;
        std::string path = path_;
        for (size_t k = 1; k < levels.size(); ++k) path += "/" + levels[k].name;
        if (!name.empty()) path += "/" + name;
        problem_ = "cannot remove " + Quoted(path) + ": " + ErrorText(code);
    }

    bool Ok() const { return ok_; }

private:
    static bool IsFolder(int fd, const dirent& entry) {
        if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_DIR;
        struct stat st {};
        return ::fstatat(fd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }

    std::string path_;
    std::string& problem_;
    bool ok_ = true;
};

}  // namespace

std::vector<TemporaryFolder> TemporaryFolders() {
    std::vector<TemporaryFolder> folders;
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir != nullptr && *tmpdir != '\0') folders.push_back({tmpdir, "$TMPDIR"});
    else folders.push_back({"/tmp", ""});
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    folders.push_back({runtime == nullptr ? "" : runtime, "$XDG_RUNTIME_DIR"});
    return folders;
}

std::unique_ptr<PrivateFolder> PrivateFolder::Make(const std::vector<TemporaryFolder>& folders,
                                                   const std::string& prefix, std::string& problem) {
    problem.clear();
    for (const TemporaryFolder& folder : folders) {
        if (folder.path.empty()) {
            problem += (problem.empty() ? "" : "\n") + folder.source + " is not set";
            continue;
        }
        const std::string subject = Quoted(folder.path) + (folder.source.empty() ? "" : " (" + folder.source + ")");
        std::string realPath;
        std::string reason;
        const int parent = OpenUnsharedFolder(folder.path, realPath, reason);
        if (parent < 0) {
            problem += (problem.empty() ? "" : "\n") + subject + " " + reason;
            continue;
        }
        const std::string name = MakeFolderIn(parent, prefix);
        const int made = name.empty() ? -1 : ::openat(parent, name.c_str(), kFolderFlags);
        FileIdentity identity;
        if (made < 0 || !IdentityOfOpen(made, identity) || ::fchmod(made, 0700) != 0) {
            problem += (problem.empty() ? "" : "\n") + subject + ": cannot make a folder there: " + ErrorText(errno);
            if (made >= 0) ::close(made);
            ::close(parent);
            continue;
        }
        ::close(made);
        const std::string path = (realPath == "/" ? "" : realPath) + "/" + name;
        problem.clear();
        return std::unique_ptr<PrivateFolder>(new PrivateFolder(parent, path, name, identity));
    }
    if (folders.empty()) problem = "no folder for temporary files is known";
    return nullptr;
}

PrivateFolder::PrivateFolder(int parentFd, std::string path, std::string name, const FileIdentity& identity)
    : parentFd_(parentFd), path_(std::move(path)), name_(std::move(name)), identity_(identity) {}

PrivateFolder::~PrivateFolder() {
    std::string ignored;
    Remove(ignored);
    ::close(parentFd_);
}

bool PrivateFolder::Remove(std::string& problem) {
    if (removed_) return true;
    // Once only: a name that no longer stands for this folder is never looked at again.
    removed_ = true;
    return RemoveFolderTreeAt(parentFd_, name_, identity_, path_, problem);
}

bool RemoveFolderTreeAt(int parent, const std::string& name, const FileIdentity& identity, const std::string& path,
                        std::string& problem) {
    int fd = ::openat(parent, name.c_str(), kFolderFlags);
    FileIdentity found;
    if (fd < 0 && errno == ENOENT) return true;
    if (fd < 0 || !IdentityOfOpen(fd, found) || !(found == identity)) {
        const bool other = fd >= 0 || errno == ELOOP || errno == ENOTDIR;
        problem = other ? Quoted(path) + " is no longer the folder that was made there: it is left alone"
                        : "cannot remove " + Quoted(path) + ": " + ErrorText(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    TreeRemoval removal(path, problem);
    std::vector<TreeLevel> levels{{name, identity, {}}};
    removal.ClearFiles(fd, levels);
    for (;;) {
        TreeLevel& level = levels.back();
        if (!level.folders.empty()) {
            const std::string child = std::move(level.folders.back());
            level.folders.pop_back();
            const int below = ::openat(fd, child.c_str(), kFolderFlags);
            FileIdentity childIdentity;
            if (below < 0 || !IdentityOfOpen(below, childIdentity)) {
                // Replaced by something else meanwhile: a link or a file goes as itself.
                if (errno == ELOOP || errno == ENOTDIR) {
                    if (::unlinkat(fd, child.c_str(), 0) != 0 && errno != ENOENT) removal.Fail(levels, child, errno);
                } else if (errno != ENOENT) {
                    removal.Fail(levels, child, errno);
                }
                if (below >= 0) ::close(below);
                continue;
            }
            ::close(fd);
            fd = below;
            levels.push_back({child, childIdentity, {}});
            removal.ClearFiles(fd, levels);
            continue;
        }
        if (levels.size() == 1) break;
        // Up through "..", which must be the folder this one was entered from.
        const int above = ::openat(fd, "..", kFolderFlags);
        FileIdentity aboveIdentity;
        if (above < 0 || !IdentityOfOpen(above, aboveIdentity) || !(aboveIdentity == levels[levels.size() - 2].identity)) {
            removal.Fail(levels, "", above < 0 ? errno : ESTALE);
            if (above >= 0) ::close(above);
            ::close(fd);
            return false;
        }
        ::close(fd);
        fd = above;
        const std::string done = std::move(levels.back().name);
        levels.pop_back();
        if (::unlinkat(fd, done.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
            const int code = errno;
            removal.Fail(levels, done, code);
        }
    }
    ::close(fd);
    if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        const int code = errno;
        removal.Fail({}, "", code);
    }
    return removal.Ok();
}

}  // namespace host
