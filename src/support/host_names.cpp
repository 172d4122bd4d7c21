#include "support/host_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "support/host_internal.h"

namespace host {

namespace {

using internal::InjectedError;
using internal::Raise;

// getpwuid_r's buffer when the system gives no size.
constexpr size_t kPasswordBuffer = 4096;

}  // namespace

std::vector<std::string> NamesStartingWith(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (d == nullptr) return names;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) == 0 && name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
    return names;
}

bool RenameUnlessTaken(const std::string& from, const std::string& to) {
    if (const int injected = InjectedError(hooks::Operation::Rename)) Raise("Cannot rename a file to", to, injected);
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        hooks::AfterChange({.change = hooks::Change::Rename, .path = &from, .to = &to});
        return true;
    }
    if (errno == EEXIST) return false;
    // A file system that cannot refuse to replace: a hard link can, and the old name then goes.
    if (errno != EINVAL && errno != ENOSYS) Raise("Cannot rename a file to", to, errno);
    if (::link(from.c_str(), to.c_str()) != 0) {
        if (errno == EEXIST) return false;
        Raise("Cannot rename a file to", to, errno);
    }
    if (::unlink(from.c_str()) != 0) Raise("Cannot remove file", from, errno);
    hooks::AfterChange({.change = hooks::Change::Rename, .path = &from, .to = &to});
    return true;
}

std::string UserName(uint32_t uid) {
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : kPasswordBuffer);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return "";
    return found->pw_name;
}

}  // namespace host
