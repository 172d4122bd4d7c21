#include "support/whole_file.h"

#include <cerrno>
#include <memory>
#include <utility>

#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"

namespace {

std::string TooLargeText(int64_t maxSize) { return "it is larger than " + std::to_string(maxSize) + " bytes"; }

}  // namespace

bool ReadWholeFile(const std::string& path, TArrayOfByte& buffer) {
    return ReadWholeFileOrSayWhy(path, buffer).empty();
}

std::string ReadWholeFileOrSayWhy(const std::string& path, TArrayOfByte& buffer, int64_t maxSize) {
    TArrayOfByte content;
    int64_t size = 0;
    const std::string problem = ReadWholeFileIntoRoomOrSayWhy(path, content, size, maxSize);
    if (!problem.empty()) return problem;
    content.resize(static_cast<size_t>(size));
    buffer = std::move(content);
    return "";
}

std::string OpenWholeFileOrSayWhy(const std::string& path, std::unique_ptr<HostFile>& file, int64_t maxSize) {
    file.reset();
    if (path.empty()) return "no file named";
    const host::EntryInfo info = host::Stat(path);
    if (info.kind == host::EntryKind::Missing) return host::ErrorText(ENOENT);
    if (info.kind == host::EntryKind::Directory) return host::ErrorText(EISDIR);
    // A FIFO, socket or device has no content to obtain, and opening one could block.
    if (info.kind == host::EntryKind::Other) return "not a regular file";
    if (info.size > maxSize) return TooLargeText(maxSize);

    std::unique_ptr<HostFile> opened;
    try {
        opened = std::make_unique<HostFile>(path, HostFile::Mode::ReadNonBlocking);
    } catch (const EInOutError& error) {
        return host::ErrorText(error.Code());
    }
    // The name may have been given to something else since it was looked at.
    if (opened->Kind() != host::EntryKind::File) return "not a regular file";
    if (opened->Size() > maxSize) return TooLargeText(maxSize);
    file = std::move(opened);
    return "";
}

std::string ReadWholeFileIntoRoomOrSayWhy(const std::string& path, TArrayOfByte& room, int64_t& size,
                                          int64_t maxSize) {
    size = 0;
    std::unique_ptr<HostFile> file;
    const std::string problem = OpenWholeFileOrSayWhy(path, file, maxSize);
    if (!problem.empty()) return problem;
    const int64_t length = file->Size();
    if (static_cast<int64_t>(room.size()) < length) room.resize(static_cast<size_t>(length));
    const int64_t read = length > 0 ? file->Read(room.data(), length) : 0;
    file->Close();
    if (read != length) return "it shrank while it was read";
    size = length;
    return "";
}
