#include "support/host_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

#include "support/errors.h"

#include "support/host_internal.h"
#include "support/host_names.h"

namespace host {

namespace {

using internal::Raise;

// The locks this process holds, by file, so that nested operations on one archive do not
// wait for themselves.
struct THeldLock {
    LockKind kind;
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

std::pair<uint64_t, uint64_t> RegistryKey(const FileIdentity& identity) {
    return {identity.device, identity.inode};
}

FileIdentity IdentityOfDescriptor(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {};
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// While another process holds a lock, it is asked for again this often.
constexpr std::chrono::milliseconds kLockPollInterval{50};
// whileWaiting hears of a continuing wait this often.
constexpr int kPollsPerReport = 4;

std::mutex& WaitingMutex() {
    static std::mutex mutex;
    return mutex;
}

LockWaiting& ProcessWaiting() {
    static LockWaiting waiting;
    return waiting;
}

// The way of ThreadLockWaiting on this thread; null when none is in force.
thread_local LockWaiting* threadWaiting = nullptr;

LockWaiting CurrentWaiting() {
    if (threadWaiting != nullptr) return *threadWaiting;
    std::lock_guard<std::mutex> lock(WaitingMutex());
    return ProcessWaiting();
}

int FlockOnce(int fd, int operation) {
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0) return 0;
        if (errno != EINTR) return errno;
    }
}

// One lock of /proc/locks: "1: FLOCK  ADVISORY  WRITE 4242 08:01:1234 0 EOF"; a process
// waiting for a lock has "->" after the number and holds nothing.
struct THeldBy {
    long pid = 0;
    FileIdentity file;
};

std::optional<THeldBy> ParseLockLine(const std::string& line) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, device;
    THeldBy held;
    if (!(fields >> number >> kind) || kind == "->") return std::nullopt;
    if (!(fields >> mode >> access >> held.pid >> device)) return std::nullopt;
    unsigned major = 0;
    unsigned minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(device.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) return std::nullopt;
    held.file = {static_cast<uint64_t>(makedev(major, minor)), static_cast<uint64_t>(inode)};
    return held;
}

// "4242 (vpak) of alice (uid 1000)": what /proc tells of the process.
std::string ProcessText(long pid) {
    const std::string folder = "/proc/" + std::to_string(pid);
    std::string text = "process " + std::to_string(pid);
    std::ifstream commandFile(folder + "/comm");
    std::string command;
    if (std::getline(commandFile, command) && !command.empty()) text += " (" + command + ")";
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        const std::string name = UserName(static_cast<uint32_t>(st.st_uid));
        const std::string id = "uid " + std::to_string(st.st_uid);
        text += " of " + (name.empty() ? id : name + " (" + id + ")");
    }
    return text;
}

std::string BusyText(const std::string& path, const FileIdentity& file) {
    const std::string holders = LockHoldersText(file);
    return "Cannot lock file \"" + path + "\": another process is using it" + (holders.empty() ? "" : ": " + holders);
}

// Polls instead of blocking in flock, so that the front end can tell the user, keep a
// window alive and let the wait be stopped.
int FlockWaiting(int fd, int operation, const std::string& path, bool& waited) {
    int code = FlockOnce(fd, operation);
    if (code != EWOULDBLOCK) return code;
    waited = true;
    const LockWaiting waiting = CurrentWaiting();
    if (!waiting.wait) throw EFileBusy(code, BusyText(path, IdentityOfDescriptor(fd)));
    const auto start = std::chrono::steady_clock::now();
    bool told = false;
    for (int polls = 0;; ++polls) {
        if (waiting.whileWaiting && polls % kPollsPerReport == 0) waiting.whileWaiting(path, polls == 0);
        if (!told && waiting.heldBy &&
            std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(kLongLockWaitMilliseconds)) {
            told = true;
            const std::string holders = LockHoldersText(IdentityOfDescriptor(fd));
            if (!holders.empty()) waiting.heldBy(path, holders);
        }
        std::this_thread::sleep_for(kLockPollInterval);
        code = FlockOnce(fd, operation);
        if (code != EWOULDBLOCK) return code;
    }
}

}  // namespace

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

FileLock::FileLock(const NamedFile& named, LockKind kind) {
    ownFd_ = named.OpenDescriptor(O_RDONLY | O_NONBLOCK);
    if (ownFd_ < 0) Raise("Cannot open file", named.Path(), errno);
    Acquire(ownFd_, kind, true, named.Path());
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
    const int operation = kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH;
    int code = 0;
    try {
        code = wait ? FlockWaiting(fd, operation, path, waited_) : FlockOnce(fd, operation);
    } catch (...) {
        Release();
        throw;
    }
    if (code != 0) {
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

LockWaiting SetLockWaiting(LockWaiting waiting) {
    std::lock_guard<std::mutex> lock(WaitingMutex());
    LockWaiting before = std::move(ProcessWaiting());
    ProcessWaiting() = std::move(waiting);
    return before;
}

ThreadLockWaiting::ThreadLockWaiting(LockWaiting waiting) : outer_(threadWaiting), own_(std::move(waiting)) {
    threadWaiting = &own_;
}

ThreadLockWaiting::~ThreadLockWaiting() { threadWaiting = outer_; }

std::string LockHoldersText(const FileIdentity& file) {
    std::ifstream locks("/proc/locks");
    std::string text;
    std::set<long> named;
    for (std::string line; std::getline(locks, line);) {
        const std::optional<THeldBy> held = ParseLockLine(line);
        // A lock of no process (an open file description's, pid -1) names no one.
        if (!held || !(held->file == file) || held->pid <= 0 || !named.insert(held->pid).second) continue;
        text += (text.empty() ? "" : ", ") + ProcessText(held->pid);
    }
    return text;
}

bool FileLock::TryExclusive(const HostFile& file) {
    return ::flock(file.fd_, LOCK_EX | LOCK_NB) == 0;
}

}  // namespace host
