#include "support/file_replacing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>

#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/host_internal.h"

namespace host {

namespace {

using internal::Raise;

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
        CreateTemporaryIn(ParentDirectoryOf(target), path, permissions, temporary);
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
