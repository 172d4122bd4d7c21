#include "support/existence.h"

#include "support/host_entries.h"

bool FileExistsSafe(const std::string& path) {
    if (path.empty()) return false;
    const host::EntryKind kind = host::Stat(path).kind;
    return kind == host::EntryKind::File || kind == host::EntryKind::Other;
}

bool DirExistsSafe(const std::string& path) {
    if (path.empty()) return false;
    return host::Stat(path).kind == host::EntryKind::Directory;
}
