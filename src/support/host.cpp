#include "support/host.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <future>
#include <thread>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>

#include "support/errors.h"
#include "support/progress.h"

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

// What a test asked to go wrong: the nth operation of one kind fails, and with persistent
// every later one too; or the process kills itself before its killAt-th operation.
struct TFaultPlan {
    bool armed = false;
    host::Operation operation = host::Operation::Read;
    int64_t remaining = 0;
    int code = 0;
    bool persistent = false;
    int64_t operationCount = 0;
    int64_t killAt = 0;  // 0: never
};

std::mutex& FaultMutex() {
    static std::mutex mutex;
    return mutex;
}

bool ParseOperation(const std::string& name, host::Operation& operation) {
    static const std::pair<const char*, host::Operation> kNames[] = {
        {"read", host::Operation::Read},   {"write", host::Operation::Write},
        {"truncate", host::Operation::Truncate}, {"flush", host::Operation::Flush},
        {"rename", host::Operation::Rename}, {"remove", host::Operation::Remove},
    };
    for (const auto& [text, value] : kNames) {
        if (name != text) continue;
        operation = value;
        return true;
    }
    return false;
}

int ParseErrorCode(const std::string& name) {
    if (name == "EIO") return EIO;
    if (name == "ENOSPC") return ENOSPC;
    if (name == "EDQUOT") return EDQUOT;
    if (name == "EROFS") return EROFS;
    return std::atoi(name.c_str());
}

std::vector<std::string> SplitAtColons(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos) return parts;
        start = colon + 1;
    }
}

// VPAK_TEST_FAULT=operation:nth:code[:persistent], VPAK_TEST_KILL_AT=n.
void ReadFaultEnvironment(TFaultPlan& plan) {
    if (const char* fault = std::getenv("VPAK_TEST_FAULT")) {
        const std::vector<std::string> parts = SplitAtColons(fault);
        host::Operation operation{};
        if (parts.size() >= 3 && ParseOperation(parts[0], operation)) {
            plan.armed = true;
            plan.operation = operation;
            plan.remaining = std::atoll(parts[1].c_str());
            plan.code = ParseErrorCode(parts[2]);
            plan.persistent = parts.size() >= 4 && parts[3] == "persistent";
        }
    }
    if (const char* killAt = std::getenv("VPAK_TEST_KILL_AT")) plan.killAt = std::atoll(killAt);
}

TFaultPlan& FaultPlan() {
    static TFaultPlan plan = [] {
        TFaultPlan initial;
        ReadFaultEnvironment(initial);
        return initial;
    }();
    return plan;
}

// What happens to the operation about to run.
struct TOperationFate {
    int injectedCode = 0;  // non-zero: fail with this code
    bool kill = false;     // kill the process in its place
};

TOperationFate FateOf(host::Operation operation) {
    std::lock_guard<std::mutex> lock(FaultMutex());
    TFaultPlan& plan = FaultPlan();
    TOperationFate fate;
    ++plan.operationCount;
    fate.kill = plan.killAt > 0 && plan.operationCount == plan.killAt;
    if (!plan.armed || plan.operation != operation) return fate;
    if (plan.remaining > 1) {
        --plan.remaining;
        return fate;
    }
    fate.injectedCode = plan.code;
    if (!plan.persistent) plan.armed = false;
    return fate;
}

[[noreturn]] void KillThisProcess() {
    ::kill(::getpid(), SIGKILL);
    std::abort();
}

// Reads and writes go to the system in pieces of at most this size, so that the caller of
// a long operation keeps hearing from it between them.
constexpr int64_t kIoPiece = int64_t{16} << 20;

// Runs a system call that may block for long (an fsync of a large file) on a thread of its
// own while this one keeps the operation's caller alive; returns what call returns. Should
// the caller stop the operation meanwhile, the call is still waited for before the stop
// goes on, since it uses a descriptor the way out closes.
int CallKeepingAlive(const std::function<int()>& call) {
    if (!InProgressScope()) return call();
    std::future<int> done = std::async(std::launch::async, call);
    return WaitKeepingAlive(done);
}

// Runs before every counted operation other than a write: kills the process when a test
// asked for that, and returns the error code a test wants the operation to fail with (0:
// none).
int BeforeOperation(host::Operation operation) {
    const TOperationFate fate = FateOf(operation);
    if (fate.kill) KillThisProcess();
    return fate.injectedCode;
}

[[noreturn]] void Raise(const char* what, const std::string& path, int code) {
    throw EInOutError(code, OsMessage(what, path, code));
}

std::string ParentDirectory(const std::string& hostPath) {
    const size_t slash = hostPath.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return hostPath.substr(0, slash);
}

// The locks this process holds, by file, so that nested operations on one archive do not
// wait for themselves.
struct THeldLock {
    host::LockKind kind;
    int count;
};

std::mutex& LockRegistryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::pair<uint64_t, uint64_t>, THeldLock>& LockRegistry() {
    static std::map<std::pair<uint64_t, uint64_t>, THeldLock> registry;
    return registry;
}

std::pair<uint64_t, uint64_t> RegistryKey(const host::FileIdentity& identity) {
    return {identity.device, identity.inode};
}

host::FileIdentity IdentityOfDescriptor(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {};
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

int FlockWaiting(int fd, int operation) {
    for (;;) {
        if (::flock(fd, operation) == 0) return 0;
        if (errno != EINTR) return errno;
    }
}

}  // namespace

namespace host {

void FailNth(Operation operation, int64_t nth, int code, bool persistent) {
    std::lock_guard<std::mutex> lock(FaultMutex());
    TFaultPlan& plan = FaultPlan();
    plan.armed = nth > 0;
    plan.operation = operation;
    plan.remaining = nth;
    plan.code = code;
    plan.persistent = persistent;
}

void ClearFaults() {
    std::lock_guard<std::mutex> lock(FaultMutex());
    FaultPlan().armed = false;
}

int64_t OperationCount() {
    std::lock_guard<std::mutex> lock(FaultMutex());
    return FaultPlan().operationCount;
}

EntryInfo Stat(const std::string& path) {
    struct stat st {};
    if (path.empty()) return {.errorCode = ENOENT};
    if (::stat(path.c_str(), &st) != 0) return {.errorCode = errno};
    return InfoOf(st);
}

EntryInfo StatNoFollow(const std::string& path) {
    struct stat st {};
    if (path.empty()) return {.errorCode = ENOENT};
    if (::lstat(path.c_str(), &st) != 0) return {.errorCode = errno};
    return InfoOf(st);
}

DirListing ListDirectory(const std::string& dir) {
    DirListing listing;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (d == nullptr) {
        listing.errorCode = errno;
        return listing;
    }
    const int dfd = ::dirfd(d);
    for (;;) {
        // readdir reports the end and an error alike with null; only errno tells them apart.
        errno = 0;
        const dirent* e = ::readdir(d);
        if (e == nullptr) {
            listing.errorCode = errno;
            break;
        }
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
        listing.entries.push_back(std::move(entry));
    }
    ::closedir(d);
    return listing;
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
    return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

std::string ResolvedPath(const std::string& path) {
    if (path.empty()) return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string result = resolved;
    std::free(resolved);
    return result;
}

std::string ParentDirectoryOf(const std::string& path) { return ParentDirectory(path); }

void Rename(const std::string& from, const std::string& to) {
    if (const int injected = BeforeOperation(Operation::Rename)) Raise("Cannot rename a file to", to, injected);
    if (::rename(from.c_str(), to.c_str()) != 0) Raise("Cannot rename a file to", to, errno);
}

bool RemoveFile(const std::string& path) {
    if (const int injected = BeforeOperation(Operation::Remove)) Raise("Cannot remove file", path, injected);
    if (::unlink(path.c_str()) == 0) return true;
    if (errno == ENOENT) return false;
    Raise("Cannot remove file", path, errno);
}

bool RemoveFileQuietly(const std::string& path) {
    if (BeforeOperation(Operation::Remove) != 0) return false;
    return ::unlink(path.c_str()) == 0;
}

void FlushDirectoryOf(const std::string& path) {
    const std::string dir = ParentDirectory(path);
    if (const int injected = BeforeOperation(Operation::Flush)) Raise("Cannot flush directory", dir, injected);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) Raise("Cannot open directory", dir, errno);
    const int result = ::fsync(fd);
    const int code = errno;
    ::close(fd);
    // Some file systems cannot flush a directory; their names are as safe as they get.
    if (result != 0 && code != EINVAL && code != ENOTSUP) Raise("Cannot flush directory", dir, code);
}

FileOwnership OwnershipOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) Raise("Cannot get the status of file", path, errno);
    return {static_cast<uint32_t>(st.st_mode & 07777), static_cast<uint32_t>(st.st_uid),
            static_cast<uint32_t>(st.st_gid)};
}

uint32_t CurrentUser() { return static_cast<uint32_t>(::geteuid()); }

bool IsAccessRefused(int code) { return code == EACCES || code == EPERM || code == EROFS; }

}  // namespace host

HostFile::HostFile(const std::string& path, Mode mode, uint32_t permissions)
    : path_(path), subject_("file \"" + path + "\"") {
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read: flags |= O_RDONLY; break;
        case Mode::ReadNoLink: flags |= O_RDONLY | O_NOFOLLOW | O_NONBLOCK; break;
        case Mode::ReadNonBlocking: flags |= O_RDONLY | O_NONBLOCK; break;
        case Mode::ReadWrite: flags |= O_RDWR; break;
        case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
        case Mode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
    }
    fd_ = ::open(path.c_str(), flags, static_cast<mode_t>(permissions));
    if (fd_ < 0) {
        const int code = errno;
        throw EInOutError(code, OsMessage("Cannot open file", path, code));
    }
}

HostFile::HostFile(int fd, std::string path) : path_(std::move(path)), subject_("file \"" + path_ + "\""), fd_(fd) {}

HostFile::~HostFile() {
    if (fd_ >= 0) ::close(fd_);
}

void HostFile::Fail(const char* verb, int code) const {
    throw EInOutError(code, std::string("Cannot ") + verb + " " + subject_ + ": " + std::strerror(code));
}

void HostFile::Fail(const char* verb) const { Fail(verb, errno); }

int64_t HostFile::Read(void* buffer, int64_t count) {
    if (const int injected = BeforeOperation(host::Operation::Read)) Fail("read", injected);
    auto* p = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        if (done > 0) KeepAlive();
        const int64_t piece = std::min(count - done, kIoPiece);
        const ssize_t n = ::pread(fd_, p + done, static_cast<size_t>(piece), position_ + done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("read");
        }
        if (n == 0) break;
        done += n;
    }
    position_ += done;
    return done;
}

void HostFile::ReadExact(void* buffer, int64_t count) {
    if (Read(buffer, count) != count) ReadBeyondEnd();
}

void HostFile::ReadBeyondEnd() const {
    throw EInOutError(0, "Cannot read " + subject_ + ": " + kReadBeyondEndOfFile);
}

void HostFile::ReadBytesAt(const std::vector<int64_t>& positions, uint8_t* bytes) {
    if (const int injected = BeforeOperation(host::Operation::Read)) Fail("read", injected);
    for (size_t i = 0; i < positions.size(); ++i) {
        for (;;) {
            const ssize_t n = ::pread(fd_, bytes + i, 1, positions[i]);
            if (n == 1) break;
            if (n == 0) ReadBeyondEnd();
            if (errno != EINTR) Fail("read");
        }
    }
}

void HostFile::Write(const void* buffer, int64_t count) {
    if (count <= 0) return;
    if (watcher_ != nullptr) watcher_->BeforeChange(position_, position_ + count);
    const auto* p = static_cast<const uint8_t*>(buffer);
    // A write that a test makes fail or kills has written half its bytes, as a full disk or
    // a kill in the middle of the system call can leave it.
    const TOperationFate fate = FateOf(host::Operation::Write);
    const int64_t allowed = (fate.kill || fate.injectedCode != 0) ? count / 2 : count;
    int64_t done = 0;
    while (done < allowed) {
        if (done > 0) KeepAlive();
        const int64_t piece = std::min(allowed - done, kIoPiece);
        const ssize_t n = ::pwrite(fd_, p + done, static_cast<size_t>(piece), position_ + done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("write");
        }
        done += n;
    }
    if (fate.kill) KillThisProcess();
    if (fate.injectedCode != 0) Fail("write", fate.injectedCode);
    position_ += done;
}

void HostFile::Seek(int64_t position) {
    if (position < 0) {
        errno = EINVAL;
        Fail("seek in");
    }
    position_ = position;
}

int64_t HostFile::Size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("get the size of");
    return st.st_size;
}

void HostFile::Truncate() {
    if (watcher_ != nullptr) {
        const int64_t size = Size();
        watcher_->BeforeChange(std::min(position_, size), std::max(position_, size));
    }
    if (const int injected = BeforeOperation(host::Operation::Truncate)) Fail("truncate", injected);
    if (::ftruncate(fd_, position_) != 0) Fail("truncate");
}

void HostFile::Flush() {
    if (const int injected = BeforeOperation(host::Operation::Flush)) Fail("flush", injected);
    const int fd = fd_;
    const int result = CallKeepingAlive([fd] { return ::fsync(fd) == 0 ? 0 : errno; });
    if (result != 0) Fail("flush", result);
}

void HostFile::StartWriteback(int64_t position, int64_t count) {
    if (count > 0) ::sync_file_range(fd_, position, count, SYNC_FILE_RANGE_WRITE);
}

void HostFile::FlushRangeAndForget(int64_t position, int64_t count) {
    if (count <= 0) return;
    if (const int injected = BeforeOperation(host::Operation::Flush)) Fail("flush", injected);
    constexpr unsigned kWriteAndWait =
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    if (::sync_file_range(fd_, position, count, kWriteAndWait) != 0) Fail("flush");
    ::posix_fadvise(fd_, position, count, POSIX_FADV_DONTNEED);
}

void HostFile::SetOwnership(const host::FileOwnership& ownership) {
    // Only the superuser may give a file away; anyone else keeps it, as any new file.
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("get the status of");
    if (st.st_uid != ownership.user || st.st_gid != ownership.group)
        (void)::fchown(fd_, ownership.user, ownership.group);
    // After fchown, which clears the set-id bits.
    if (::fchmod(fd_, static_cast<mode_t>(ownership.mode)) != 0) Fail("set the permissions of");
}

void HostFile::Close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail("close");
}

host::FileIdentity HostFile::Identity() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("get the status of");
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

host::EntryKind HostFile::Kind() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("get the status of");
    return InfoOf(st).kind;
}

host::FileOwnership HostFile::Ownership() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("get the status of");
    return {static_cast<uint32_t>(st.st_mode & 07777), static_cast<uint32_t>(st.st_uid),
            static_cast<uint32_t>(st.st_gid)};
}

namespace host {

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

FileLock::FileLock(const std::string& path, LockKind kind) {
    const std::string& hostPath = path;
    // A file renamed over path while this waited would leave the lock on a file no longer
    // under that name; then the lock is taken again on the file path names now.
    for (;;) {
        ownFd_ = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (ownFd_ < 0) Raise("Cannot open file", path, errno);
        Acquire(ownFd_, kind, true, path);
        struct stat st {};
        if (::stat(hostPath.c_str(), &st) == 0 &&
            FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)} == identity_)
            return;
        Release();
    }
}

FileLock::FileLock(const HostFile& file, LockKind kind, bool wait) { Acquire(file.fd_, kind, wait, file.Path()); }

FileLock::~FileLock() { Release(); }

void FileLock::Acquire(int fd, LockKind kind, bool wait, const std::string& path) {
    identity_ = IdentityOfDescriptor(fd);
    {
        std::lock_guard<std::mutex> lock(LockRegistryMutex());
        auto held = LockRegistry().find(RegistryKey(identity_));
        if (held != LockRegistry().end()) {
            // Waiting for a lock this process itself holds would never end.
            if (held->second.kind == LockKind::Shared && kind == LockKind::Exclusive)
                throw std::logic_error("an exclusive lock requested under a shared one: " + path);
            ++held->second.count;
            registered_ = true;
            return;
        }
    }
    int operation = kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH;
    if (!wait) operation |= LOCK_NB;
    if (const int code = FlockWaiting(fd, operation)) {
        Release();
        Raise("Cannot lock file", path, code);
    }
    std::lock_guard<std::mutex> lock(LockRegistryMutex());
    LockRegistry()[RegistryKey(identity_)] = {kind, 1};
    registered_ = true;
}

void FileLock::Release() {
    if (registered_) {
        std::lock_guard<std::mutex> lock(LockRegistryMutex());
        auto held = LockRegistry().find(RegistryKey(identity_));
        if (held != LockRegistry().end() && --held->second.count == 0) LockRegistry().erase(held);
        registered_ = false;
    }
    // Closing the descriptor that took the lock releases it; a lock on a caller's file ends
    // when that file is closed.
    if (ownFd_ >= 0) ::close(ownFd_);
    ownFd_ = -1;
}

bool FileLock::TryExclusive(const HostFile& file) {
    return ::flock(file.fd_, LOCK_EX | LOCK_NB) == 0;
}

bool HoldsExclusiveLock(const FileIdentity& identity) {
    std::lock_guard<std::mutex> lock(LockRegistryMutex());
    auto held = LockRegistry().find(RegistryKey(identity));
    return held != LockRegistry().end() && held->second.kind == LockKind::Exclusive;
}

}  // namespace host

namespace {

constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

host::FileIdentity IdentityOfOpenFolder(int fd, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) Raise("Cannot get the status of directory", path, errno);
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

bool IsLinkAt(int dirFd, const std::string& name) {
    struct stat st {};
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// Temporary files of WriteFileReplacing: a hidden name with a random part, so that one left
// by a killed process never stands in the way of the next.
constexpr const char* kTemporaryPrefix = ".vpak-tmp-";
constexpr int kTemporaryNameAttempts = 64;
constexpr uint32_t kNewFilePermissions = 0666;  // less the umask, as for any new file

std::string TemporaryNameIn(const std::string& folder) {
    static std::random_device entropy;
    char suffix[9];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(entropy()));
    return folder + "/" + kTemporaryPrefix + suffix;
}

// A new file in folder that no other entry names: O_EXCL neither opens an existing name
// nor follows a link. Failures name path, the file the caller means to write.
std::unique_ptr<HostFile> CreateTemporaryIn(const std::string& folder, const std::string& path,
                                            uint32_t permissions, std::string& temporary) {
    int code = EEXIST;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && code == EEXIST; ++attempt) {
        temporary = TemporaryNameIn(folder);
        try {
            return std::make_unique<HostFile>(temporary, HostFile::Mode::CreateNew, permissions);
        } catch (const EInOutError& error) {
            code = error.Code();
        }
    }
    Raise("Cannot create file", path, code);
}

// A FIFO or character device takes the bytes as they come; pwrite, which HostFile uses,
// cannot write to it.
void WriteIntoStream(const std::string& path, const void* data, int64_t count) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) Raise("Cannot open file", path, errno);
    const auto* p = static_cast<const uint8_t*>(data);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int code = errno;
            ::close(fd);
            Raise("Cannot write file", path, code);
        }
        done += n;
    }
    if (::close(fd) != 0) Raise("Cannot close file", path, errno);
}

// Replacing a file the process may not write would go around its permissions, which the
// rename alone does not look at.
void CheckWritable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) Raise("Cannot open file", path, errno);
    ::close(fd);
}

void WriteThroughTemporary(const std::string& path, const std::string& target, const struct stat* old,
                           const void* data, int64_t count) {
    // While it is written, the new file gives no more access than the one it replaces.
    const uint32_t permissions = old != nullptr ? static_cast<uint32_t>(old->st_mode) & kNewFilePermissions
                                                : kNewFilePermissions;
    std::string temporary;
    std::unique_ptr<HostFile> file =
        CreateTemporaryIn(ParentDirectory(target), path, permissions, temporary);
    file->NameInMessages("file \"" + path + "\"");
    try {
        file->Write(data, count);
        if (old != nullptr)
            file->SetOwnership({static_cast<uint32_t>(old->st_mode & 07777), static_cast<uint32_t>(old->st_uid),
                                static_cast<uint32_t>(old->st_gid)});
        file->Flush();
        file->Close();
        host::Rename(temporary, target);
    } catch (...) {
        file.reset();
        host::RemoveFileQuietly(temporary);
        throw;
    }
    host::FlushDirectoryOf(target);
}

}  // namespace

namespace host {

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

void WriteFileReplacing(const std::string& path, const void* data, int64_t count) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) Raise("Cannot open file", path, errno);
        // A missing name, or a link to one: the new file takes the name itself.
        WriteThroughTemporary(path, path, nullptr, data, count);
        return;
    }
    if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
        WriteIntoStream(path, data, count);
        return;
    }
    if (S_ISDIR(st.st_mode)) Raise("Cannot open file", path, EISDIR);
    if (!S_ISREG(st.st_mode))
        throw EInOutError(EINVAL, "Cannot write file \"" + path + "\": it is a socket or a block device");
    CheckWritable(path);
    WriteThroughTemporary(path, ResolvedPath(path), &st, data, count);
}

}  // namespace host
