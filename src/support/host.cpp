#include "support/host.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/errors.h"

namespace {

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

std::string OsMessage(const char* what, const std::string& path, int code) {
    return std::string(what) + " \"" + path + "\": " + std::strerror(code);
}

host::EntryInfo InfoOf(const struct stat& st) {
    host::EntryInfo info;
    if (S_ISDIR(st.st_mode)) info.kind = host::EntryKind::Directory;
    else if (S_ISREG(st.st_mode)) info.kind = host::EntryKind::File;
    else info.kind = host::EntryKind::Other;
    info.size = st.st_size;
    info.identity = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return info;
}

}  // namespace

namespace host {

std::string ToHostPath(const std::string& path) {
    std::string result = path;
    for (char& c : result)
        if (c == '\\') c = '/';
    return result;
}

EntryInfo Stat(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(ToHostPath(path).c_str(), &st) != 0) return {};
    return InfoOf(st);
}

std::vector<DirEntry> ListDirectory(const std::string& dir) {
    std::vector<DirEntry> entries;
    const std::string hostDir = ToHostPath(dir.empty() ? "." : dir);
    DIR* d = ::opendir(hostDir.c_str());
    if (d == nullptr) return entries;
    const int dfd = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        DirEntry entry;
        entry.name = name;
        struct stat st {};
        if (::fstatat(dfd, e->d_name, &st, 0) == 0) {
            entry.info = InfoOf(st);
        } else {
            entry.info.kind = EntryKind::Other;  // a dangling link: listed, never readable
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(d);
    return entries;
}

bool MakeDirectory(const std::string& path) {
    return ::mkdir(ToHostPath(path).c_str(), 0777) == 0;
}

bool IsLocalWritableMedium(const std::string& path) {
    std::string probe = ToHostPath(path.empty() ? "." : path);
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

std::string CurrentDirectory() {
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return ".";
    return buffer;
}

}  // namespace host

HostFile::HostFile(const std::string& path, Mode mode) : path_(path) {
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read: flags |= O_RDONLY; break;
        case Mode::ReadWrite: flags |= O_RDWR; break;
        case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    fd_ = ::open(host::ToHostPath(path).c_str(), flags, 0666);
    if (fd_ < 0) {
        const int code = errno;
        throw EInOutError(code, OsMessage("Cannot open file", path, code));
    }
}

HostFile::~HostFile() {
    if (fd_ >= 0) ::close(fd_);
}

void HostFile::Fail(const char* what) const {
    const int code = errno;
    throw EInOutError(code, OsMessage(what, path_, code));
}

int64_t HostFile::Read(void* buffer, int64_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd_, p + done, static_cast<size_t>(count - done), position_ + done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot read file");
        }
        if (n == 0) break;
        done += n;
    }
    position_ += done;
    return done;
}

void HostFile::ReadExact(void* buffer, int64_t count) {
    if (Read(buffer, count) != count) throw EInOutError(0, kReadBeyondEndOfFile);
}

void HostFile::Write(const void* buffer, int64_t count) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(fd_, p + done, static_cast<size_t>(count - done), position_ + done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot write file");
        }
        done += n;
    }
    position_ += done;
}

void HostFile::Seek(int64_t position) {
    if (position < 0) {
        errno = EINVAL;
        Fail("Cannot seek in file");
    }
    position_ = position;
}

int64_t HostFile::Size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("Cannot get the size of file");
    return st.st_size;
}

void HostFile::Truncate() {
    if (::ftruncate(fd_, position_) != 0) Fail("Cannot truncate file");
}

void HostFile::Close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail("Cannot close file");
}

host::FileIdentity HostFile::Identity() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("Cannot get the status of file");
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

namespace host {
bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }
}  // namespace host
