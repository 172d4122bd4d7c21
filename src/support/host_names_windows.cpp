#include "support/host_names.h"

#include <windows.h>

#include "support/host_errors_windows.h"
#include "support/host_internal.h"
#include "support/host_paths_windows.h"
#include "support/windows_names.h"

namespace host {

namespace {

using internal::InjectedError;
using internal::Raise;

std::optional<std::string> NameOf(const WIN32_FIND_DATAW& found) {
    return NameOfWindowsText(reinterpret_cast<const char16_t*>(found.cFileName));
}

}  // namespace

std::vector<std::string> NamesStartingWith(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> names;
    const std::wstring pattern = WidePath(dir.empty() ? "." : dir) + L"\\*";
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        // A name no byte string stands for cannot be one of vpak's own.
        const std::optional<std::string> name = NameOf(found);
        if (!name || *name == "." || *name == "..") continue;
        if (name->compare(0, prefix.size(), prefix) == 0) names.push_back(*name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

bool RenameUnlessTaken(const std::string& from, const std::string& to) {
    if (const int injected = InjectedError(hooks::Operation::Rename)) Raise("Cannot rename a file to", to, injected);
    // Without MOVEFILE_REPLACE_EXISTING the move refuses any entry standing under to.
    if (!::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return false;
        Raise("Cannot rename a file to", to, ErrnoOfWindowsError(error));
    }
    hooks::AfterChange({.change = hooks::Change::Rename, .path = &from, .to = &to});
    return true;
}

// Windows has no numeric user ids: vpak records none there, and so names none.
std::string UserName(uint32_t) { return ""; }

}  // namespace host
