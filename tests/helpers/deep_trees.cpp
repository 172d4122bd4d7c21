#include "helpers/deep_trees.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

#include "helpers/archive_writer.h"
#include "support/zlib_adapter.h"

namespace {

int OpenFolderAt(int parent, const char* name) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error(std::string("cannot open the folder ") + name);
    return fd;
}

void WriteFileAt(int folder, const std::string& name, const std::string& content) {
    const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + name);
    const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(fd);
    if (!written) throw std::runtime_error("cannot write " + name);
}

std::string FileName(int level) { return "f" + std::to_string(level) + ".txt"; }

// The first sub-folder of the open folder fd ("" for none); the other entries are removed.
std::string EmptyButOneFolder(int fd) {
    const int listed = ::dup(fd);
    DIR* d = ::fdopendir(listed);
    if (d == nullptr) throw std::runtime_error("cannot list a folder");
    std::vector<std::string> files;
    std::string folder;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
            if (folder.empty()) folder = name;
        } else {
            files.push_back(name);
        }
    }
    ::closedir(d);
    for (const std::string& name : files) ::unlinkat(fd, name.c_str(), 0);
    return folder;
}

}  // namespace

std::string ChainFileContent(int level) { return "level " + std::to_string(level); }

void MakeFolderChain(const std::string& root, int depth, const TLevelFilter& fileAt) {
    int fd = OpenFolderAt(AT_FDCWD, root.c_str());
    for (int level = 0; level <= depth; ++level) {
        if (fileAt(level)) WriteFileAt(fd, FileName(level), ChainFileContent(level));
        if (level == depth) break;
        if (::mkdirat(fd, "d", 0755) != 0) throw std::runtime_error("cannot create a folder");
        const int next = OpenFolderAt(fd, "d");
        ::close(fd);
        fd = next;
    }
    ::close(fd);
}

TArrayOfByte FolderChainArchive(int depth, const TLevelFilter& fileAt, bool bigEndian) {
    TArrayOfByte directory;
    TArrayOfByte data;
    for (int level = 0; level < depth; ++level) {
        PutInt(directory, bigEndian, 1);
        PutName(directory, bigEndian, "d");
    }
    PutInt(directory, bigEndian, 0);
    for (int level = depth; level >= 0; --level) {
        if (!fileAt(level)) {
            PutInt(directory, bigEndian, 0);
            continue;
        }
        const std::string content = ChainFileContent(level);
        const TArrayOfByte stream = CompressBytes(content.data(), static_cast<int32_t>(content.size()));
        PutInt(directory, bigEndian, 1);
        PutName(directory, bigEndian, FileName(level));
        PutInt(directory, bigEndian, static_cast<int32_t>(data.size()));
        PutInt(directory, bigEndian, static_cast<int32_t>(stream.size()));
        PutInt(directory, bigEndian, static_cast<int32_t>(content.size()));
        data.insert(data.end(), stream.begin(), stream.end());
    }
    return ArchiveBytes(directory, data, bigEndian);
}

void RemoveDeepTree(const std::string& root) {
    struct stat st {};
    if (::lstat(root.c_str(), &st) != 0) return;
    if (!S_ISDIR(st.st_mode)) {
        ::unlink(root.c_str());
        return;
    }
    // One folder open at a time: the way back up is "..", and the names the folders were
    // entered by say what to remove there.
    int fd = OpenFolderAt(AT_FDCWD, root.c_str());
    std::vector<std::string> names;
    for (;;) {
        const std::string sub = EmptyButOneFolder(fd);
        if (!sub.empty()) {
            const int next = OpenFolderAt(fd, sub.c_str());
            ::close(fd);
            fd = next;
            names.push_back(sub);
            continue;
        }
        if (names.empty()) break;
        const int parent = OpenFolderAt(fd, "..");
        ::close(fd);
        fd = parent;
        ::unlinkat(fd, names.back().c_str(), AT_REMOVEDIR);
        names.pop_back();
    }
    ::close(fd);
    ::rmdir(root.c_str());
}

namespace {

// Room for the trees of one test: a few tens of thousands of folders and files.
constexpr int64_t kPlaceBytes = int64_t{512} << 20;

}  // namespace

DeepTreePlace::DeepTreePlace() : disk_(std::make_unique<SmallDisk>(kPlaceBytes)) {
    if (disk_->Mounted()) {
        path_ = disk_->Path();
        return;
    }
    disk_.reset();
    dir_ = std::make_unique<TempDir>();
    path_ = dir_->Path();
}

DeepTreePlace::~DeepTreePlace() {
    if (dir_ != nullptr) RemoveDeepTree(dir_->Path());
}
