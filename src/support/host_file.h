// Open files of the host module (see host_entries.h): HostFile, which reads, writes, cuts
// and flushes a file of bytes, and FilePositionGuard.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/host_entries.h"

namespace host {

class FileLock;
class NamedFile;

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
    // it opens is one it made itself. ReadNoLink and ReadWriteNoLink refuse a symbolic link. ReadNonBlocking
    // cannot hang on a FIFO that has no writer (check Kind before reading).
    enum class Mode { Read, ReadNoLink, ReadNonBlocking, ReadWrite, ReadWriteNoLink, Create, CreateNew };

    // permissions applies to a created file, less the process's umask.
    HostFile(const std::string& path, Mode mode, uint32_t permissions = 0666);
    // Opens the file named stands for (Read, ReadNonBlocking or ReadWrite) without looking its
    // name up again; raises as opening it by its name would.
    HostFile(const host::NamedFile& named, Mode mode);
    // Takes over a descriptor opened elsewhere in this module; path names it in messages.
    HostFile(int fd, std::string path);
    // Another descriptor of file's file, with a position of its own, the name not looked up
    // again (Read, ReadNonBlocking or ReadWrite). It names the file in messages as file does.
    static std::unique_ptr<HostFile> Reopened(const HostFile& file, Mode mode);
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
    // Writes count bytes of source, from its position from on, at this file's position, as
    // Write does (the same hooks, the same half-written fault), in the kernel where it can:
    // an edited archive's unchanged streams are copied without passing through this process.
    // Raises as ReadExact does when source ends before them. Source's position is kept.
    void CopyFrom(HostFile& source, int64_t from, int64_t count);
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
    // Takes the disk space for the file to grow to size without changing its size or
    // content, so that the writes that make it grow cannot run out of space midway. Does
    // nothing where the file system cannot reserve space; raises "Cannot write" when the
    // space is not there.
    void Reserve(int64_t size);
    // Gives back the space Reserve took beyond the file's end.
    void ReleaseReserved();
    // The bytes still free for this process on the file's file system.
    int64_t AvailableSpace() const;
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
    // The open(2) flags of mode.
    static int FlagsOf(Mode mode);
    // CopyFrom's way where the kernel cannot copy: through buffer, one read and its writes.
    int64_t CopyRangeThrough(std::vector<uint8_t>& buffer, HostFile& source, int64_t from, int64_t to,
                             int64_t count);

    std::string path_;
    std::string subject_;
    int fd_ = -1;
    int64_t position_ = 0;
    host::ChangeWatcher* watcher_ = nullptr;
};

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
