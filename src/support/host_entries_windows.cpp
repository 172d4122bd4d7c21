#include "support/host_entries.h"

#include <windows.h>

#include <cerrno>
#include <optional>

#include "support/host_errors_windows.h"
#include "support/host_internal.h"
#include "support/host_paths_windows.h"
#include "support/windows_names.h"

// The Windows side of host_entries.h. Every path goes to the wide API whole, in the long-path
// form (host_paths_windows.h), so no folder is held open to reach deep ones. Symbolic links
// and junctions are the reparse points that count as links; others (cloud placeholders,
// deduplicated files) are what they stand for.
namespace host {

namespace {

using internal::InjectedError;
using internal::Raise;

// FILETIME's 100-nanosecond ticks from 1601 to 1970.
constexpr int64_t kTicksTo1970 = 116444736000000000LL;

int LastErrno() { return ErrnoOfWindowsError(::GetLastError()); }

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (Valid()) ::CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// Opened only to be looked at, sharing everything, a folder as well as a file.
HANDLE OpenToLookAt(const std::string& path, bool followLink) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return ::CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, flags, nullptr);
}

bool IsLinkTag(DWORD tag) { return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT; }

bool IsLink(HANDLE handle, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return ::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
           IsLinkTag(tag.ReparseTag);
}

EntryInfo InfoOfHandle(HANDLE handle, bool followed) {
    BY_HANDLE_FILE_INFORMATION file{};
    if (!::GetFileInformationByHandle(handle, &file)) return {.errorCode = LastErrno()};
    EntryInfo info;
    if (!followed && IsLink(handle, file.dwFileAttributes)) info.kind = EntryKind::Other;
    else if (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) info.kind = EntryKind::Directory;
    else if (::GetFileType(handle) == FILE_TYPE_DISK) info.kind = EntryKind::File;
    else info.kind = EntryKind::Other;
    info.size = static_cast<int64_t>((uint64_t(file.nFileSizeHigh) << 32) | file.nFileSizeLow);
    info.identity = {file.dwVolumeSerialNumber, (uint64_t(file.nFileIndexHigh) << 32) | file.nFileIndexLow};
    const int64_t ticks =
        static_cast<int64_t>((uint64_t(file.ftLastWriteTime.dwHighDateTime) << 32) | file.ftLastWriteTime.dwLowDateTime);
    info.modifiedNs = (ticks - kTicksTo1970) * 100;
    return info;
}

EntryInfo StatOf(const std::string& path, bool followLink) {
    if (path.empty()) return {.errorCode = ENOENT};
    const Handle handle(OpenToLookAt(path, followLink));
    if (!handle.Valid()) return {.errorCode = LastErrno()};
    return InfoOfHandle(handle.get(), followLink);
}

std::string Joined(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    const char last = dir.back();
    return last == '/' || last == '\\' ? dir + name : dir + "/" + name;
}

// A listed entry as Stat sees it, through links; a link that leads nowhere is Other.
EntryInfo ListedInfo(const std::string& path, const WIN32_FIND_DATAW& found) {
    EntryInfo info = StatOf(path, true);
    const bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(found.dwReserved0);
    if (info.kind == EntryKind::Missing && link) {
        info.kind = EntryKind::Other;
        info.danglingLink = true;
    }
    return info;
}

}  // namespace

EntryInfo Stat(const std::string& path) { return StatOf(path, true); }

EntryInfo StatNoFollow(const std::string& path) { return StatOf(path, false); }

DirListing ListDirectory(const std::string& dir) {
    const std::string folder = dir.empty() ? "." : dir;
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileExW((WidePath(folder) + L"\\*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        // Only a drive's root can be empty of even "." and "..".
        const DWORD error = ::GetLastError();
        return {.entries = {}, .errorCode = error == ERROR_FILE_NOT_FOUND ? 0 : ErrnoOfWindowsError(error)};
    }
    DirListing listing;
    do {
        const std::optional<std::string> name = NameOfWindowsText(reinterpret_cast<const char16_t*>(found.cFileName));
        // A name no byte string stands for (a lone surrogate): the listing is not whole.
        if (!name) {
            listing.errorCode = EILSEQ;
            continue;
        }
        if (*name == "." || *name == "..") continue;
        listing.entries.push_back({*name, ListedInfo(Joined(folder, *name), found)});
    } while (::FindNextFileW(search, &found));
    const DWORD error = ::GetLastError();
    ::FindClose(search);
    if (error != ERROR_NO_MORE_FILES && listing.errorCode == 0) listing.errorCode = ErrnoOfWindowsError(error);
    return listing;
}

// Nothing is held open: paths of any length go to the system whole.
void ForgetFolders() {}

bool MakeDirectory(const std::string& path) {
    if (::CreateDirectoryW(WidePath(path).c_str(), nullptr)) return true;
    errno = LastErrno();
    return false;
}

bool IsLocalWritableMedium(const std::string& path) {
    std::string probe = path.empty() ? "." : path;
    while (::GetFileAttributesW(WidePath(probe).c_str()) == INVALID_FILE_ATTRIBUTES) {
        const std::string parent = ParentDirectoryOf(probe);
        if (parent == probe) return false;
        probe = parent;
    }
    wchar_t volume[32768];
    if (!::GetVolumePathNameW(WidePath(probe).c_str(), volume, 32768)) return false;
    const UINT type = ::GetDriveTypeW(volume);
    return type != DRIVE_REMOTE && type != DRIVE_CDROM && type != DRIVE_NO_ROOT_DIR && type != DRIVE_UNKNOWN;
}

bool NameExists(const std::string& path) {
    return !path.empty() && ::GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ResolvedPath(const std::string& path) {
    if (path.empty()) return path;
    const Handle handle(OpenToLookAt(path, true));
    if (!handle.Valid()) return path;
    std::wstring full(32768, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(handle.get(), full.data(), static_cast<DWORD>(full.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= full.size()) return path;
    full.resize(length);
    std::u16string text(reinterpret_cast<const char16_t*>(full.data()), full.size());
    if (text.rfind(u"\\\\?\\UNC\\", 0) == 0) text = u"\\\\" + text.substr(8);
    else if (text.rfind(u"\\\\?\\", 0) == 0) text = text.substr(4);
    return NameOfWindowsText(text).value_or(path);
}

std::string ParentDirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    if (slash == 0) return path.substr(0, 1);
    // A drive's root keeps its separator: "C:" alone is the current folder of drive C.
    if (slash == 2 && path[1] == ':') return path.substr(0, 3);
    return path.substr(0, slash);
}

void Rename(const std::string& from, const std::string& to) {
    if (const int injected = InjectedError(hooks::Operation::Rename)) Raise("Cannot rename a file to", to, injected);
    if (!::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        Raise("Cannot rename a file to", to, LastErrno());
    hooks::AfterChange({.change = hooks::Change::Rename, .path = &from, .to = &to});
}

namespace {

// DeleteFileW, or RemoveDirectoryW for a link to a folder, which is removed, not followed.
bool RemoveName(const std::wstring& wide) {
    if (::DeleteFileW(wide.c_str())) return true;
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    const DWORD folderLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & folderLink) == folderLink)
        return ::RemoveDirectoryW(wide.c_str()) != 0;
    ::SetLastError(error);
    return false;
}

}  // namespace

bool RemoveFile(const std::string& path) {
    if (const int injected = InjectedError(hooks::Operation::Remove)) Raise("Cannot remove file", path, injected);
    if (RemoveName(WidePath(path))) {
        hooks::AfterChange({.change = hooks::Change::Remove, .path = &path});
        return true;
    }
    const int code = LastErrno();
    if (code == ENOENT) return false;
    Raise("Cannot remove file", path, code);
}

bool RemoveFileQuietly(const std::string& path) {
    if (InjectedError(hooks::Operation::Remove) != 0) return false;
    if (!RemoveName(WidePath(path))) return false;
    hooks::AfterChange({.change = hooks::Change::Remove, .path = &path});
    return true;
}

void FlushDirectoryOf(const std::string& path) {
    const std::string dir = ParentDirectoryOf(path);
    bool skipped = false;
    if (const int injected = InjectedError(hooks::Operation::Flush, &skipped))
        Raise("Cannot flush directory", dir, injected);
    if (skipped) {
        hooks::AfterChange({.change = hooks::Change::FlushDirectory, .path = &dir});
        return;
    }
    const Handle handle(::CreateFileW(WidePath(dir).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    // Windows may refuse a folder written to or flushed: its names are then as safe as the
    // file system makes them (renames are written through).
    if (!handle.Valid()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED) return;
        Raise("Cannot open directory", dir, ErrnoOfWindowsError(error));
    }
    if (::FlushFileBuffers(handle.get())) {
        hooks::AfterChange({.change = hooks::Change::FlushDirectory, .path = &dir});
        return;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED)
        Raise("Cannot flush directory", dir, ErrnoOfWindowsError(error));
}

// Windows keeps no permission bits: a read-only file is 0444, any other 0666; no owner ids.
FileOwnership OwnershipOf(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) Raise("Cannot get the status of file", path, LastErrno());
    return {(attributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u, 0, 0};
}

// Windows has no numeric user ids; every file is taken as the process's own.
uint32_t CurrentUser() { return 0; }

bool IsAccessRefused(int code) { return code == EACCES || code == EPERM || code == EROFS; }

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace host
