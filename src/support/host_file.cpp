#include "support/host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <future>
#include <optional>
#include <stdexcept>

#include "support/errors.h"
#include "support/host_internal.h"
#include "support/named_file.h"
#include "support/progress.h"

namespace {

using host::internal::InjectedError;
using host::hooks::Operation;

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

// Tells the hooks of a change made through fd (see host_hooks.h).
void TellChange(host::hooks::Change change, int fd, int64_t offset = 0, int64_t count = 0,
                const void* bytes = nullptr) {
    host::hooks::AfterChange({.change = change, .fd = fd, .offset = offset, .count = count, .bytes = bytes});
}

}  // namespace

int HostFile::FlagsOf(Mode mode) {
    switch (mode) {
        case Mode::Read: return O_CLOEXEC | O_RDONLY;
        case Mode::ReadNoLink: return O_CLOEXEC | O_RDONLY | O_NOFOLLOW | O_NONBLOCK;
        case Mode::ReadNonBlocking: return O_CLOEXEC | O_RDONLY | O_NONBLOCK;
        case Mode::ReadWrite: return O_CLOEXEC | O_RDWR;
        case Mode::ReadWriteNoLink: return O_CLOEXEC | O_RDWR | O_NOFOLLOW | O_NONBLOCK;
        case Mode::Create: return O_CLOEXEC | O_RDWR | O_CREAT | O_TRUNC;
        case Mode::CreateNew: return O_CLOEXEC | O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
    }
    return O_CLOEXEC | O_RDONLY;
}

namespace {

// An existing file is opened again for reading or writing; never created, cut or held as a link.
int ReopeningFlags(int flags) {
    if ((flags & (O_CREAT | O_TRUNC | O_NOFOLLOW)) != 0)
        throw std::logic_error("a file opened again is neither created, cut nor refused as a link");
    return flags;
}

}  // namespace

HostFile::HostFile(const host::NamedFile& named, Mode mode)
    : path_(named.Path()), subject_("file \"" + named.Path() + "\"") {
    fd_ = named.OpenDescriptor(ReopeningFlags(FlagsOf(mode)));
    if (fd_ < 0) {
        const int code = errno;
        throw EInOutError(code, host::internal::OsMessage("Cannot open file", path_, code));
    }
}

std::unique_ptr<HostFile> HostFile::Reopened(const HostFile& file, Mode mode) {
    const int fd = host::internal::ReopenDescriptor(file.fd_, ReopeningFlags(FlagsOf(mode)), file.path_);
    if (fd < 0) {
        const int code = errno;
        throw EInOutError(code, host::internal::OsMessage("Cannot open file", file.path_, code));
    }
    auto reopened = std::make_unique<HostFile>(fd, file.path_);
    reopened->subject_ = file.subject_;
    return reopened;
}

HostFile::HostFile(const std::string& path, Mode mode, uint32_t permissions)
    : path_(path), subject_("file \"" + path + "\"") {
    const int flags = FlagsOf(mode);
    fd_ = host::internal::OpenPath(path, flags, static_cast<mode_t>(permissions));
    if (fd_ < 0) {
        const int code = errno;
        throw EInOutError(code, host::internal::OsMessage("Cannot open file", path, code));
    }
    if (mode == Mode::Create || mode == Mode::CreateNew)
        host::hooks::AfterChange({.change = host::hooks::Change::Create, .fd = fd_, .path = &path_});
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
    if (const int injected = InjectedError(Operation::Read)) Fail("read", injected);
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
    if (const int injected = InjectedError(Operation::Read)) Fail("read", injected);
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
    const std::optional<host::hooks::Fault> fault = host::hooks::BeforeOperation(Operation::Write);
    const int64_t allowed = fault ? count / 2 : count;
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
    if (done > 0) TellChange(host::hooks::Change::Write, fd_, position_, done, p);
    if (fault && fault->kill) host::internal::KillThisProcess();
    if (fault) Fail("write", fault->code);
    position_ += done;
}

namespace {

// Copies in the kernel; how many bytes went (0: source ended), or -1 when this pair of files
// cannot be copied that way (other file systems, special files) and errno is set.
int64_t CopyRangeInKernel(int fromFd, int64_t from, int toFd, int64_t to, int64_t count) {
    loff_t in = from;
    loff_t out = to;
    for (;;) {
        const ssize_t n = ::copy_file_range(fromFd, &in, toFd, &out, static_cast<size_t>(count), 0);
        if (n >= 0 || errno != EINTR) return n;
    }
}

bool CannotCopyInKernel(int code) {
    return code == EXDEV || code == ENOSYS || code == EINVAL || code == EOPNOTSUPP || code == EBADF;
}

}  // namespace

int64_t HostFile::CopyRangeThrough(std::vector<uint8_t>& buffer, HostFile& source, int64_t from, int64_t to,
                                   int64_t count) {
    buffer.resize(static_cast<size_t>(count));
    ssize_t got = -1;
    do got = ::pread(source.fd_, buffer.data(), static_cast<size_t>(count), from);
    while (got < 0 && errno == EINTR);
    if (got < 0) source.Fail("read");
    for (ssize_t put = 0; put < got;) {
        const ssize_t n = ::pwrite(fd_, buffer.data() + put, static_cast<size_t>(got - put), to + put);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("write");
        put += n;
    }
    return got;
}

void HostFile::CopyFrom(HostFile& source, int64_t from, int64_t count) {
    if (count <= 0) return;
    if (watcher_ != nullptr) watcher_->BeforeChange(position_, position_ + count);
    const std::optional<host::hooks::Fault> fault = host::hooks::BeforeOperation(Operation::Write);
    const int64_t allowed = fault ? count / 2 : count;
    bool inKernel = true;
    std::vector<uint8_t> buffer;
    int64_t done = 0;
    while (done < allowed) {
        if (done > 0) KeepAlive();
        const int64_t piece = std::min(allowed - done, kIoPiece);
        int64_t n = -1;
        if (inKernel) {
            n = CopyRangeInKernel(source.fd_, from + done, fd_, position_ + done, piece);
            if (n < 0 && !CannotCopyInKernel(errno)) Fail("write");
            inKernel = n >= 0;
        }
        if (!inKernel) n = CopyRangeThrough(buffer, source, from + done, position_ + done, piece);
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
    if (const int injected = InjectedError(Operation::Truncate)) Fail("truncate", injected);
    if (::ftruncate(fd_, position_) != 0) Fail("truncate");
    TellChange(host::hooks::Change::Truncate, fd_, position_);
}

void HostFile::Flush() {
    bool skipped = false;
    if (const int injected = InjectedError(Operation::Flush, &skipped)) Fail("flush", injected);
    const int fd = fd_;
    const int result = skipped ? 0 : CallKeepingAlive([fd] { return ::fsync(fd) == 0 ? 0 : errno; });
    if (result != 0) Fail("flush", result);
    TellChange(host::hooks::Change::FlushFile, fd_);
}

void HostFile::StartWriteback(int64_t position, int64_t count) {
    if (count > 0) ::sync_file_range(fd_, position, count, SYNC_FILE_RANGE_WRITE);
}

void HostFile::FlushRangeAndForget(int64_t position, int64_t count) {
    if (count <= 0) return;
    bool skipped = false;
    if (const int injected = InjectedError(Operation::Flush, &skipped)) Fail("flush", injected);
    constexpr unsigned kWriteAndWait =
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    if (!skipped && ::sync_file_range(fd_, position, count, kWriteAndWait) != 0) Fail("flush");
    TellChange(host::hooks::Change::FlushRange, fd_, position, count);
    ::posix_fadvise(fd_, position, count, POSIX_FADV_DONTNEED);
}

void HostFile::Reserve(int64_t size) {
    const int64_t current = Size();
    if (size <= current) return;
    const int result = ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, current, size - current);
    if (result == 0 || errno == EOPNOTSUPP || errno == ENOSYS) return;
    // Told as the write it stands for would be.
    Fail("write");
}

void HostFile::ReleaseReserved() {
    // Cutting a file at its own end changes no byte and frees what lay behind it.
    if (::ftruncate(fd_, Size()) != 0) Fail("truncate");
}

int64_t HostFile::AvailableSpace() const {
    if (const std::optional<int64_t> stated = host::hooks::AvailableSpace()) return *stated;
    struct statvfs vfs {};
    if (::fstatvfs(fd_, &vfs) != 0) Fail("get the free space of the file system of");
    return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
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
    return host::internal::InfoOf(st).kind;
}

host::FileOwnership HostFile::Ownership() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("get the status of");
    return {static_cast<uint32_t>(st.st_mode & 07777), static_cast<uint32_t>(st.st_uid),
            static_cast<uint32_t>(st.st_gid)};
}
