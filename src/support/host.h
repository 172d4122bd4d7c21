// The one module that talks to the operating system. Every path it takes is the host's own,
// "/" separated, as the user gave it: a "\" is an ordinary byte of a Linux name. Paths inside
// an archive ("\" separated) reach the OS only one component at a time, through a
// FolderCursor. Failures raise EInOutError with the OS error code and a message naming the
// path.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace host {

enum class EntryKind { Missing, File, Directory, Other };  // Other: FIFO, socket, device

struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

struct EntryInfo {
    EntryKind kind = EntryKind::Missing;  // after following symbolic links
    int64_t size = 0;
    FileIdentity identity{};
    int errorCode = 0;  // for Missing: why the path could not be looked at (ENOENT, EACCES ...)
};

EntryInfo Stat(const std::string& path);
// The same without following a symbolic link: a link is Other.
EntryInfo StatNoFollow(const std::string& path);

// One entry of a directory listing, "." and ".." left out, in the order the OS gives them.
struct DirEntry {
    std::string name;
    EntryInfo info;
};

// Every entry of a directory, dot files included, as far as it could be read: errorCode is
// the OS error when the directory could not be opened or read to its end (0: complete).
struct DirListing {
    std::vector<DirEntry> entries;
    int errorCode = 0;
};
DirListing ListDirectory(const std::string& dir);

// The text the OS gives for an error code ("Permission denied").
std::string ErrorText(int code);

// Creates one directory; false when that fails (the OS error is left in errno).
bool MakeDirectory(const std::string& path);

// False for file systems extraction must not write to (network shares, optical media).
// Looks at the nearest existing ancestor of path.
bool IsLocalWritableMedium(const std::string& path);

// True when a directory entry of that name exists, whatever it is; a symbolic link counts
// as itself and is not followed.
bool NameExists(const std::string& path);

// The path with every symbolic link and "." or ".." resolved, in the archive's form; the
// path itself when it cannot be resolved (it does not exist).
std::string ResolvedPath(const std::string& path);

// The directory that holds path ("." for a bare name).
std::string ParentDirectoryOf(const std::string& path);

// Renames from to to, replacing an existing to. The error it raises names to: from is a
// temporary name the user never gave.
void Rename(const std::string& from, const std::string& to);

// Removes a directory entry (a link is removed, not followed). False when it did not exist;
// any other failure raises.
bool RemoveFile(const std::string& path);
// The same, for cleaning up where no error may be raised: false on any failure.
bool RemoveFileQuietly(const std::string& path);

// Flushes the directory that holds path to disk, so that a created, renamed or removed
// name in it survives a power cut.
void FlushDirectoryOf(const std::string& path);

// Makes count bytes the whole content of path so that, whatever fails, path holds either
// what it held before or all of the new bytes: they go to a temporary file created anew in
// the same folder (never through a link), which is flushed, given the permission bits and,
// where the process may, the owner of the file it replaces, and renamed over it; the folder
// is flushed last. Any failure removes the temporary file. A symbolic link to an existing
// file stays a link: the file it names is replaced. A FIFO or character device (a pipe, a
// terminal) has no content to keep and is written directly. A directory, socket or block
// device raises, as does an existing file the process may not write.
void WriteFileReplacing(const std::string& path, const void* data, int64_t count);

// The permission bits and owner of a file, to give a replacement the same.
struct FileOwnership {
    uint32_t mode = 0;  // permission bits, set-id and sticky bits included
    uint32_t user = 0;
    uint32_t group = 0;
};
FileOwnership OwnershipOf(const std::string& path);

// The user this process acts as (its effective user id).
uint32_t CurrentUser();

// True for the errors of an operation the process may not do (no permission, a read-only
// file system), as against one that went wrong.
bool IsAccessRefused(int code);

// Fault injection for tests. The operations that can be made to fail, and that the kill
// hook counts.
enum class Operation { Read, Write, Truncate, Flush, Rename, Remove };

// Makes the nth operation of that kind from now on fail with code (EIO, ENOSPC ...); with
// persistent, every later one as well. A failing write first writes half its bytes, as a
// full disk can. The environment variable VPAK_TEST_FAULT ("write:3:ENOSPC", with
// ":persistent" appended for a lasting fault) sets the same for a child process.
void FailNth(Operation operation, int64_t nth, int code, bool persistent = false);
void ClearFaults();

// Operations of every kind done so far by this process. The environment variable
// VPAK_TEST_KILL_AT=N makes the process kill itself with SIGKILL instead of doing its Nth
// operation (a write first writes half its bytes), for tests of interrupted writes.
int64_t OperationCount();

}  // namespace host

namespace host {
class FileLock;

// Told before an open file's bytes change, so that it can save what they hold first.
class ChangeWatcher {
public:
    // The bytes from from up to (not including) to are about to be overwritten or cut off.
    virtual void BeforeChange(int64_t from, int64_t to) = 0;

protected:
    ~ChangeWatcher() = default;
};
}  // namespace host

// An open file of bytes, closed by its destructor.
class HostFile {
public:
    // CreateNew never replaces an existing name and never follows a symbolic link: the file
    // it opens is one it made itself. ReadNoLink refuses a symbolic link. ReadNonBlocking
    // cannot hang on a FIFO that has no writer (check Kind before reading).
    enum class Mode { Read, ReadNoLink, ReadNonBlocking, ReadWrite, Create, CreateNew };

    // permissions applies to a created file, less the process's umask.
    HostFile(const std::string& path, Mode mode, uint32_t permissions = 0666);
    // Takes over a descriptor opened elsewhere in this module; path names it in messages.
    HostFile(int fd, std::string path);
    // The errors raised from now on name the file as subject ("file \"a.pak\"" by default):
    // a temporary file is told by the file the user named, `the journal of "a.pak"`.
    void NameInMessages(std::string subject) { subject_ = std::move(subject); }
    ~HostFile();
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;

    // Reads up to count bytes; returns how many arrived (fewer only at the end of the file).
    int64_t Read(void* buffer, int64_t count);
    // Reads exactly count bytes or raises "Cannot read file \"path\": Read beyond end of file".
    void ReadExact(void* buffer, int64_t count);
    // Reads the byte at each position into bytes (as many as positions), as one operation;
    // raises as ReadExact does when a position lies past the end. The file position
    // is kept.
    void ReadBytesAt(const std::vector<int64_t>& positions, uint8_t* bytes);
    void Write(const void* buffer, int64_t count);
    void Seek(int64_t position);
    int64_t Position() const { return position_; }
    int64_t Size() const;
    // Cuts the file at the current position.
    void Truncate();
    // Forces what was written to the disk (fsync).
    void Flush();
    // Lets the system start writing count bytes from position to the disk now, without
    // waiting, so that a later Flush finds little left to do. Only a hint: nothing fails.
    void StartWriteback(int64_t position, int64_t count);
    // Waits until count bytes from position have gone to the disk and lets the system drop
    // them from its cache. A file written once and read only after a crash then occupies a
    // few pages at a time instead of crowding out the cache. The disk's own cache is still
    // to be flushed (Flush). Raises "Cannot flush file" when the write failed: the error
    // would not be reported again.
    void FlushRangeAndForget(int64_t position, int64_t count);
    // Gives the file the permission bits of ownership and, where the process may, its owner.
    void SetOwnership(const host::FileOwnership& ownership);
    // From now on every write and cut first tells watcher (none: nullptr).
    void SetChangeWatcher(host::ChangeWatcher* watcher) { watcher_ = watcher; }
    void Close();

    const std::string& Path() const { return path_; }
    host::FileIdentity Identity() const;
    // What the open file is (a link is never opened through ReadNoLink), and its owner.
    host::EntryKind Kind() const;
    host::FileOwnership Ownership() const;

private:
    friend class host::FileLock;
    // Raises EInOutError: "Cannot " + verb + " " + the subject + ": " + the OS text of code.
    [[noreturn]] void Fail(const char* verb, int code) const;
    [[noreturn]] void Fail(const char* verb) const;
    [[noreturn]] void ReadBeyondEnd() const;

    std::string path_;
    std::string subject_;
    int fd_ = -1;
    int64_t position_ = 0;
    host::ChangeWatcher* watcher_ = nullptr;
};

namespace host {

// True when standard error is a terminal (progress is drawn only there).
bool StandardErrorIsTerminal();

enum class LockKind { Shared, Exclusive };

// An advisory lock (flock) on a file or directory, held until destruction. Readers of an
// archive share it, an update or a replacement holds it alone. The locks of one process
// nest: a file this process already holds exclusively is granted again at once, so an
// operation may call another that locks the same archive.
class FileLock {
public:
    // Opens path itself and waits for the lock. When path has been replaced by another file
    // meanwhile, the lock is taken on the file that path names now.
    FileLock(const std::string& path, LockKind kind);
    // Locks an open file; raises when another process holds it and wait is false. The lock
    // ends at the latest when the file is closed.
    FileLock(const HostFile& file, LockKind kind, bool wait);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    FileIdentity Identity() const { return identity_; }

    // Takes an exclusive lock on the open file unless another open file holds one; it lasts
    // until the file is closed. False when the file is locked elsewhere.
    static bool TryExclusive(const HostFile& file);

private:
    void Acquire(int fd, LockKind kind, bool wait, const std::string& path);
    void Release();

    int ownFd_ = -1;  // the descriptor opened for the lock, when path was given
    FileIdentity identity_;
    bool registered_ = false;
};

// True when this process holds an exclusive lock on the file.
bool HoldsExclusiveLock(const FileIdentity& identity);

// Writes into folders below a root directory without ever following a symbolic link that
// lies below it, so that a link planted there cannot send a write elsewhere. The root is
// opened once (a link naming the root itself is the caller's choice and is followed); every
// folder below it is entered by descriptor from its parent with O_NOFOLLOW and created with
// mkdirat where it is missing. The cursor stands in one folder at a time: moving to another
// goes up to the common ancestor through "..", each step checked against the identity the
// folder had when it was entered, and down from there, so a walk in depth-first order opens
// each folder about once, whatever the depth, with two descriptors open.
class FolderCursor {
public:
    explicit FolderCursor(const std::string& root);
    ~FolderCursor();
    FolderCursor(const FolderCursor&) = delete;
    FolderCursor& operator=(const FolderCursor&) = delete;

    // Stands in the folder the components name below the root, creating the missing ones.
    // False when one of them is a symbolic link: problem then names it and says why, and the
    // cursor stands in the folder above it. Any other failure (a file in the way, no
    // permission) raises.
    bool Enter(const std::vector<std::string>& components, std::string& problem);

    // Creates the file name afresh in the current folder and opens it for writing. Whatever
    // stood under that name (a file, a link, a hard link, a FIFO) is removed first, never
    // opened or written through. Null when the name is the file keep or a link to it:
    // problem says why. Other failures (a folder under the name) raise.
    std::unique_ptr<HostFile> CreateFresh(const std::string& name, const FileIdentity& keep, std::string& problem);

    // root/component/.../name, for messages.
    std::string PathOf(const std::string& name) const;

private:
    struct Level {
        std::string name;
        FileIdentity identity;
    };

    int CurrentFd() const { return levels_.empty() ? rootFd_ : fd_; }
    void GoUpTo(size_t depth);
    bool GoDown(const std::string& name, std::string& problem);

    std::string root_;
    int rootFd_ = -1;
    int fd_ = -1;                // the current folder's, when below the root
    std::vector<Level> levels_;  // from the root down to the current folder
};

}  // namespace host

// Returns a file to the position it had, however the routine that moved it ends.
class FilePositionGuard {
public:
    explicit FilePositionGuard(HostFile& file) : file_(file), saved_(file.Position()) {}
    ~FilePositionGuard() { file_.Seek(saved_); }
    FilePositionGuard(const FilePositionGuard&) = delete;
    FilePositionGuard& operator=(const FilePositionGuard&) = delete;

private:
    HostFile& file_;
    int64_t saved_;
};
