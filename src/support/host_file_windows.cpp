#include "support/host_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <future>
#include <optional>

#include "support/errors.h"
#include "support/host_errors_windows.h"
#include "support/host_internal.h"
#include "support/host_paths_windows.h"
#include "support/progress.h"

// The Windows side of HostFile. The file is a HANDLE from CreateFileW, kept as a C runtime
// descriptor over it (_open_osfhandle), so that the class and the test hooks see an int as
// on Linux. Every file is opened sharing reading, writing and deleting: Windows would
// otherwise refuse a second opener outright, where vpak's locks (host_lock.h) make writers
// wait. HostFile(const NamedFile&, Mode) stands with named_file's Windows side, not yet
// written.
namespace {

using host::internal::InjectedError;
using host::hooks::Operation;

// Reads and writes go to the system in pieces of at most this size, so that the caller of
// a long operation keeps hearing from it between them.
constexpr int64_t kIoPiece = int64_t{16} << 20;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

int LastErrno() { return host::ErrnoOfWindowsError(::GetLastError()); }

OVERLAPPED At(int64_t position) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(position) >> 32);
    return at;
}

// ReadFile at position; the bytes read, 0 at the end of the file, -1 with errno on failure.
int64_t ReadAt(int fd, void* buffer, int64_t count, int64_t position) {
    OVERLAPPED at = At(position);
    DWORD got = 0;
    if (::ReadFile(HandleOf(fd), buffer, static_cast<DWORD>(count), &got, &at)) return got;
    if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
    errno = LastErrno();
    return -1;
}

int64_t WriteAt(int fd, const void* buffer, int64_t count, int64_t position) {
    OVERLAPPED at = At(position);
    DWORD put = 0;
    if (::WriteFile(HandleOf(fd), buffer, static_cast<DWORD>(count), &put, &at)) return put;
    errno = LastErrno();
    return -1;
}

// Runs a call that may block for long (flushing a large file) on a thread of its own while
// this one keeps the operation's caller alive; returns what call returns.
int CallKeepingAlive(const std::function<int()>& call) {
    if (!InProgressScope()) return call();
    std::future<int> done = std::async(std::launch::async, call);
    return WaitKeepingAlive(done);
}

void TellChange(host::hooks::Change change, int fd, int64_t offset = 0, int64_t count = 0,
                const void* bytes = nullptr) {
    host::hooks::AfterChange({.change = change, .fd = fd, .offset = offset, .count = count, .bytes = bytes});
}

struct OpenWay {
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    bool noLink = false;
    int crtFlags = 0;
};

OpenWay WayOf(HostFile::Mode mode) {
    using Mode = HostFile::Mode;
    constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
    switch (mode) {
        case Mode::Read: return {GENERIC_READ, OPEN_EXISTING, false, _O_RDONLY};
        case Mode::ReadNoLink: return {GENERIC_READ, OPEN_EXISTING, true, _O_RDONLY};
        case Mode::ReadNonBlocking: return {GENERIC_READ, OPEN_EXISTING, false, _O_RDONLY};
        case Mode::ReadWrite: return {kReadWrite, OPEN_EXISTING, false, _O_RDWR};
        case Mode::ReadWriteNoLink: return {kReadWrite, OPEN_EXISTING, true, _O_RDWR};
        case Mode::Create: return {kReadWrite, CREATE_ALWAYS, false, _O_RDWR};
        case Mode::CreateNew: return {kReadWrite, CREATE_NEW, true, _O_RDWR};
    }
    return {};
}

bool IsLinkHandle(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) return false;
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

// Opens path as mode says; the descriptor, or -1 with errno. A folder is EISDIR, as
// opening one for its bytes is on Linux; a link refused is ELOOP, as O_NOFOLLOW gives.
int OpenDescriptor(const std::string& path, HostFile::Mode mode) {
    const OpenWay way = WayOf(mode);
    const std::wstring wide = host::WidePath(path);
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | (way.noLink ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    const HANDLE handle = ::CreateFileW(wide.c_str(), way.access, kShareAll, nullptr, way.disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(wide.c_str());
        const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        errno = error == ERROR_ACCESS_DENIED && folder ? EISDIR : host::ErrnoOfWindowsError(error);
        return -1;
    }
    if (way.noLink && IsLinkHandle(handle)) {
        ::CloseHandle(handle);
        errno = ELOOP;
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), way.crtFlags);
    if (fd < 0) {
        ::CloseHandle(handle);
        errno = EMFILE;
    }
    return fd;
}

}  // namespace

int HostFile::FlagsOf(Mode mode) { return WayOf(mode).crtFlags; }

std::unique_ptr<HostFile> HostFile::Reopened(const HostFile& file, Mode mode) {
    if (mode != Mode::Read && mode != Mode::ReadNonBlocking && mode != Mode::ReadWrite)
        throw std::logic_error("a file opened again is neither created, cut nor refused as a link");
    const OpenWay way = WayOf(mode);
    const HANDLE handle = ::ReOpenFile(HandleOf(file.fd_), way.access, kShareAll, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        const int code = LastErrno();
        throw EInOutError(code, host::internal::OsMessage("Cannot open file", file.path_, code));
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), way.crtFlags);
    if (fd < 0) {
        ::CloseHandle(handle);
        throw EInOutError(EMFILE, host::internal::OsMessage("Cannot open file", file.path_, EMFILE));
    }
    auto reopened = std::make_unique<HostFile>(fd, file.path_);
    reopened->subject_ = file.subject_;
    return reopened;
}

HostFile::HostFile(const std::string& path, Mode mode, uint32_t) : path_(path), subject_("file \"" + path + "\"") {
    fd_ = OpenDescriptor(path, mode);
    if (fd_ < 0) {
        const int code = errno;
        throw EInOutError(code, host::internal::OsMessage("Cannot open file", path, code));
    }
    if (mode == Mode::Create || mode == Mode::CreateNew)
        host::hooks::AfterChange({.change = host::hooks::Change::Create, .fd = fd_, .path = &path_});
}

HostFile::HostFile(int fd, std::string path) : path_(std::move(path)), subject_("file \"" + path_ + "\""), fd_(fd) {}

HostFile::~HostFile() {
    if (fd_ >= 0) ::_close(fd_);
}

void HostFile::Fail(const char* verb, int code) const {
    throw EInOutError(code, std::string("Cannot ") + verb + " " + subject_ + ": " + std::strerror(code));
}

void HostFile::Fail(const char* verb) const { Fail(verb, errno); }

int64_t HostFile::Read(void* buffer, int64_t count) {
    if (const int injected = InjectedError(Operation::Read)) Fail("read", injected);
    auto* p = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        if (done > 0) KeepAlive();
        const int64_t n = ReadAt(fd_, p + done, std::min(count - done, kIoPiece), position_ + done);
        if (n < 0) Fail("read");
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
    if (const int injected = InjectedError(Operation::Read)) Fail("read", injected);
    for (size_t i = 0; i < positions.size(); ++i) {
        const int64_t n = ReadAt(fd_, bytes + i, 1, positions[i]);
        if (n < 0) Fail("read");
        if (n == 0) ReadBeyondEnd();
    }
}

void HostFile::Write(const void* buffer, int64_t count) {
    if (count <= 0) return;
    if (watcher_ != nullptr) watcher_->BeforeChange(position_, position_ + count);
    const auto* p = static_cast<const uint8_t*>(buffer);
    // A write that a test makes fail or kills has written half its bytes, as a full disk or
    // a kill in the middle of the call can leave it.
    const std::optional<host::hooks::Fault> fault = host::hooks::BeforeOperation(Operation::Write);
    const int64_t allowed = fault ? count / 2 : count;
    int64_t done = 0;
    while (done < allowed) {
        if (done > 0) KeepAlive();
        const int64_t n = WriteAt(fd_, p + done, std::min(allowed - done, kIoPiece), position_ + done);
        if (n < 0) Fail("write");
        done += n;
    }
    if (done > 0) TellChange(host::hooks::Change::Write, fd_, position_, done, p);
    if (fault && fault->kill) host::internal::KillThisProcess();
    if (fault) Fail("write", fault->code);
    position_ += done;
}

int64_t HostFile::CopyRangeThrough(std::vector<uint8_t>& buffer, HostFile& source, int64_t from, int64_t to,
                                   int64_t count) {
    buffer.resize(static_cast<size_t>(count));
    const int64_t got = ReadAt(source.fd_, buffer.data(), count, from);
    if (got < 0) source.Fail("read");
    for (int64_t put = 0; put < got;) {
        const int64_t n = WriteAt(fd_, buffer.data() + put, got - put, to + put);
        if (n < 0) Fail("write");
        put += n;
    }
    return got;
}

// Windows copies no range of one file into another in the kernel: the bytes pass through here.
void HostFile::CopyFrom(HostFile& source, int64_t from, int64_t count) {
    if (count <= 0) return;
    if (watcher_ != nullptr) watcher_->BeforeChange(position_, position_ + count);
    const std::optional<host::hooks::Fault> fault = host::hooks::BeforeOperation(Operation::Write);
    const int64_t allowed = fault ? count / 2 : count;
    std::vector<uint8_t> buffer;
    int64_t done = 0;
    while (done < allowed) {
        if (done > 0) KeepAlive();
        const int64_t piece = std::min(allowed - done, kIoPiece);
        const int64_t n = CopyRangeThrough(buffer, source, from + done, position_ + done, piece);
        if (n == 0) {
            if (done > 0) TellChange(host::hooks::Change::Write, fd_, position_, done);
            source.ReadBeyondEnd();
        }
        done += n;
    }
    if (done > 0) TellChange(host::hooks::Change::Write, fd_, position_, done);
    if (fault && fault->kill) host::internal::KillThisProcess();
    if (fault) Fail("write", fault->code);
    position_ += done;
}

void HostFile::Seek(int64_t position) {
    if (position < 0) Fail("seek in", EINVAL);
    position_ = position;
}

int64_t HostFile::Size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(HandleOf(fd_), &size)) Fail("get the size of", LastErrno());
    return size.QuadPart;
}

namespace {

bool SetEnd(int fd, int64_t end) {
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = end;
    return ::SetFileInformationByHandle(HandleOf(fd), FileEndOfFileInfo, &info, sizeof info) != 0;
}

}  // namespace

void HostFile::Truncate() {
    if (watcher_ != nullptr) {
        const int64_t size = Size();
        watcher_->BeforeChange(std::min(position_, size), std::max(position_, size));
    }
    if (const int injected = InjectedError(Operation::Truncate)) Fail("truncate", injected);
    if (!SetEnd(fd_, position_)) Fail("truncate", LastErrno());
    TellChange(host::hooks::Change::Truncate, fd_, position_);
}

void HostFile::Flush() {
    bool skipped = false;
    if (const int injected = InjectedError(Operation::Flush, &skipped)) Fail("flush", injected);
    const HANDLE handle = HandleOf(fd_);
    const int result = skipped ? 0 : CallKeepingAlive([handle] { return ::FlushFileBuffers(handle) ? 0 : LastErrno(); });
    if (result != 0) Fail("flush", result);
    TellChange(host::hooks::Change::FlushFile, fd_);
}

// Windows has no call to start writing a range early: the later Flush does it all.
void HostFile::StartWriteback(int64_t, int64_t) {}

// Windows flushes a whole file or nothing: the range is flushed with the rest, which costs
// more than Linux's range flush but promises what it does.
void HostFile::FlushRangeAndForget(int64_t position, int64_t count) {
    if (count <= 0) return;
    bool skipped = false;
    if (const int injected = InjectedError(Operation::Flush, &skipped)) Fail("flush", injected);
    if (!skipped && !::FlushFileBuffers(HandleOf(fd_))) Fail("flush", LastErrno());
    TellChange(host::hooks::Change::FlushRange, fd_, position, count);
}

namespace {

bool SetAllocation(int fd, int64_t size) {
    FILE_ALLOCATION_INFO info{};
    info.AllocationSize.QuadPart = size;
    return ::SetFileInformationByHandle(HandleOf(fd), FileAllocationInfo, &info, sizeof info) != 0;
}

}  // namespace

void HostFile::Reserve(int64_t size) {
    if (size <= Size()) return;
    if (SetAllocation(fd_, size)) return;
    const DWORD error = ::GetLastError();
    // Told as the write it stands for would be; a file system that cannot reserve does nothing.
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) Fail("write", ENOSPC);
}

void HostFile::ReleaseReserved() {
    if (SetAllocation(fd_, Size())) return;
    const DWORD error = ::GetLastError();
    // Where nothing can be reserved (Wine, some file systems) nothing is to be given back.
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_CALL_NOT_IMPLEMENTED || error == ERROR_INVALID_FUNCTION ||
        error == ERROR_INVALID_PARAMETER)
        return;
    Fail("truncate", host::ErrnoOfWindowsError(error));
}

int64_t HostFile::AvailableSpace() const {
    if (const std::optional<int64_t> stated = host::hooks::AvailableSpace()) return *stated;
    ULARGE_INTEGER available{};
    const std::wstring folder = host::WidePath(host::ParentDirectoryOf(path_)) + L"\\";
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
        Fail("get the free space of the file system of", LastErrno());
    return static_cast<int64_t>(available.QuadPart);
}

// Windows keeps no permission bits or owner ids: a mode without any write bit makes the
// file read-only, any other makes it writable.
void HostFile::SetOwnership(const host::FileOwnership& ownership) {
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(HandleOf(fd_), FileBasicInfo, &basic, sizeof basic))
        Fail("get the status of", LastErrno());
    const bool readOnly = (ownership.mode & 0222) == 0;
    basic.FileAttributes = readOnly ? (basic.FileAttributes | FILE_ATTRIBUTE_READONLY)
                                    : (basic.FileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileInformationByHandle(HandleOf(fd_), FileBasicInfo, &basic, sizeof basic))
        Fail("set the permissions of", LastErrno());
}

void HostFile::Close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (::_close(fd) != 0) Fail("close", EIO);
}

namespace {

BY_HANDLE_FILE_INFORMATION InformationOf(int fd, bool& ok) {
    BY_HANDLE_FILE_INFORMATION file{};
    ok = ::GetFileInformationByHandle(HandleOf(fd), &file) != 0;
    return file;
}

}  // namespace

host::FileIdentity HostFile::Identity() const {
    bool ok = false;
    const BY_HANDLE_FILE_INFORMATION file = InformationOf(fd_, ok);
    if (!ok) Fail("get the status of", LastErrno());
    return {file.dwVolumeSerialNumber, (uint64_t(file.nFileIndexHigh) << 32) | file.nFileIndexLow};
}

host::EntryKind HostFile::Kind() const {
    bool ok = false;
    const BY_HANDLE_FILE_INFORMATION file = InformationOf(fd_, ok);
    if (!ok) Fail("get the status of", LastErrno());
    if (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return host::EntryKind::Directory;
    return ::GetFileType(HandleOf(fd_)) == FILE_TYPE_DISK ? host::EntryKind::File : host::EntryKind::Other;
}

host::FileOwnership HostFile::Ownership() const {
    bool ok = false;
    const BY_HANDLE_FILE_INFORMATION file = InformationOf(fd_, ok);
    if (!ok) Fail("get the status of", LastErrno());
    return {(file.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u, 0, 0};
}
