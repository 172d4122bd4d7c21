// Locks of the host module (see host_entries.h): advisory locks on files, and the register
// of those this process holds, through which its own locks nest.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/named_file.h"

namespace host {

enum class LockKind { Shared, Exclusive };

// How this process waits for a lock that another process holds: not at all (EFileBusy is
// raised at once), or polling, with whileWaiting called when the wait begins (begins true)
// and then a few times a second until it ends. whileWaiting may raise (ECancelled) to give
// up. It is the front end's: the command line tells a person at a terminal, the window
// keeps painting.
struct LockWaiting {
    LockWaiting(bool waits = true, std::function<void(const std::string& path, bool begins)> tellWaiting = {},
                std::function<void(const std::string& path, const std::string& holders)> tellHolders = {})
        : wait(waits), whileWaiting(std::move(tellWaiting)), heldBy(std::move(tellHolders)) {}

    bool wait = true;
    std::function<void(const std::string& path, bool begins)> whileWaiting;
    // Once a wait has lasted kLongLockWait: who holds the lock (LockHoldersText), where the
    // system tells. Locks are advisory: any process that may read a file can hold one on it.
    std::function<void(const std::string& path, const std::string& holders)> heldBy;
};

inline constexpr int kLongLockWaitMilliseconds = 2000;

// The processes that hold a lock on the file, as far as the system tells (/proc/locks):
// "process 4242 (vpak) of alice (uid 1000)", several joined by ", "; "" when it tells none.
std::string LockHoldersText(const FileIdentity& file);

// Replaces the process's way of waiting, returning the one it had.
LockWaiting SetLockWaiting(LockWaiting waiting);

// In force on the constructing thread while it lives, in place of the process's way: a thread
// that reads behind a window's back must not call what the window set, and may rather not
// wait at all.
class ThreadLockWaiting {
public:
    explicit ThreadLockWaiting(LockWaiting waiting);
    ~ThreadLockWaiting();
    ThreadLockWaiting(const ThreadLockWaiting&) = delete;
    ThreadLockWaiting& operator=(const ThreadLockWaiting&) = delete;

private:
    LockWaiting* outer_;
    LockWaiting own_;
};

// An advisory lock (flock) on a file or directory, held until destruction. Readers of an
// archive share it, an update or a replacement holds it alone. The locks of one process
// nest: a file this process already holds exclusively is granted again at once, so an
// operation may call another that locks the same archive.
class FileLock {
public:
    // Opens path itself and waits for the lock as SetLockWaiting says. When path has been
    // replaced by another file meanwhile, the lock is taken on the file that path names now.
    FileLock(const std::string& path, LockKind kind);
    // Locks the file named stands for, through a descriptor of its own made without looking
    // the name up again, and waits as SetLockWaiting says. Whether the name still stands for
    // that file is the caller's to ask (NamedFile::StillNamed), after Waited() at least.
    FileLock(const NamedFile& named, LockKind kind);
    // Locks an open file; raises when another process holds it and wait is false. The lock
    // ends at the latest when the file is closed. Waiting follows SetLockWaiting.
    FileLock(const HostFile& file, LockKind kind, bool wait);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    FileIdentity Identity() const { return identity_; }
    // True when another process held the file and this one waited for it: the file may have
    // been given another name, or none, meanwhile.
    bool Waited() const { return waited_; }

    // Takes an exclusive lock on the open file unless another open file holds one; it lasts
    // until the file is closed. False when the file is locked elsewhere.
    static bool TryExclusive(const HostFile& file);

private:
    void Acquire(int fd, LockKind kind, bool wait, const std::string& path);
    void Release();

    int ownFd_ = -1;  // the descriptor opened for the lock, when path was given
    FileIdentity identity_;
    bool registered_ = false;
    bool waited_ = false;
};

}  // namespace host
