#include "support/whole_file.h"

#include <cerrno>
#include <memory>

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
    if (path.empty()) return "no file named";
    const host::EntryInfo info = host::Stat(path);
    if (info.kind == host::EntryKind::Missing) return host::ErrorText(ENOENT);
    if (info.kind == host::EntryKind::Directory) return host::ErrorText(EISDIR);
    // A FIFO, socket or device has no content to obtain, and opening one could block.
    if (info.kind == host::EntryKind::Other) return "not a regular file";
    if (info.size > maxSize) return TooLargeText(maxSize);

    std::unique_ptr<HostFile> file;
    try {
        file = std::make_unique<HostFile>(path, HostFile::Mode::ReadNonBlocking);
    } catch (const EInOutError& error) {
        return host::ErrorText(error.Code());
    }
    // The name may have been given to something else since it was looked at.
    if (file->Kind() != host::EntryKind::File) return "not a regular file";
    const int64_t size = file->Size();
    if (size > maxSize) return TooLargeText(maxSize);
    TArrayOfByte content(static_cast<size_t>(size));
    const int64_t read = size > 0 ? file->Read(content.data(), size) : 0;
    file->Close();
    if (read != size) return "it shrank while it was read";
    buffer = std::move(content);
    return "";
}
