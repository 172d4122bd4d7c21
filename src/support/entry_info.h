// What a name of the host's file system stands for, as the host module (host_entries.h)
// tells it: its kind, identity and size, and the entries of a directory.
#pragma once

#include <cstdint>
#include <string>
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
    int64_t modifiedNs = 0;  // the last change of the content, in nanoseconds since 1970
    int errorCode = 0;  // for Missing: why the path could not be looked at (ENOENT, EACCES ...)
    // In a listing: the entry is a symbolic link whose target could not be looked at
    // (errorCode says why: ENOENT for one that points nowhere). Its kind is Other.
    bool danglingLink = false;
};

// One entry of a directory listing, "." and ".." left out, in the order the OS gives them.
struct DirEntry {
    std::string name;
    EntryInfo info;
};

// Every entry of a directory, as far as it could be read: errorCode is the OS error when the
// directory could not be opened or read to its end (0: complete).
struct DirListing {
    std::vector<DirEntry> entries;
    int errorCode = 0;
};

}  // namespace host
