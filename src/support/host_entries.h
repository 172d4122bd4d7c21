// The host module is the one part of vpak that talks to the operating system: this header,
// host_file.h (open files), named_file.h (a file looked up once by its name), host_lock.h
// (locks), folder_cursor.h (writing below a folder
// without following links), file_replacing.h (replacing a file's content whole) and
// private_folder.h (a folder of the user's own for temporary files). Every
// path it takes is the host's own, "/" separated, as the user gave it: a "\" is an ordinary
// byte of a Linux name. Paths inside an archive ("\" separated) reach the OS only one
// component at a time, through a FolderCursor. Failures raise EInOutError with the OS error
// code and a message naming the path.
//
// This header: what a name stands for (Stat, listings), making, renaming, removing and
// flushing names, the file systems extraction may write to, and who the process is.
#pragma once

#include <cstdint>
#include <string>

#include "support/entry_info.h"

namespace host {

EntryInfo Stat(const std::string& path);
// The same without following a symbolic link: a link is Other.
EntryInfo StatNoFollow(const std::string& path);

// Every entry of a directory, dot files included, as far as it could be read: errorCode is
// the OS error when the directory could not be opened or read to its end (0: complete).
// Paths of any length are taken, here and by Stat, StatNoFollow, NameExists and HostFile:
// one longer than the kernel takes is resolved one folder at a time (folder_chain.h).
DirListing ListDirectory(const std::string& dir);

// Lets go of the folders this thread holds open to resolve long paths (see ListDirectory).
void ForgetFolders();

// The text the OS gives for an error code ("Permission denied").
std::string ErrorText(int code);

// Creates one directory; false when that fails (the OS error is left in errno).
bool MakeDirectory(const std::string& path);

// False for file systems extraction must not write to (network shares, optical media).
// Looks at the nearest existing ancestor of path.
bool IsLocalWritableMedium(const std::string& path);

// True when a directory entry of that name exists, whatever it is; a symbolic link counts
// as itself and is not followed.
bool NameExists(const std::string& path);

// The path with every symbolic link and "." or ".." resolved, in the archive's form; the
// path itself when it cannot be resolved (it does not exist).
std::string ResolvedPath(const std::string& path);

// The directory that holds path ("." for a bare name).
std::string ParentDirectoryOf(const std::string& path);

// Renames from to to, replacing an existing to. The error it raises names to: from is a
// temporary name the user never gave.
void Rename(const std::string& from, const std::string& to);

// Removes a directory entry (a link is removed, not followed). False when it did not exist;
// any other failure raises.
bool RemoveFile(const std::string& path);
// The same, for cleaning up where no error may be raised: false on any failure.
bool RemoveFileQuietly(const std::string& path);

// Flushes the directory that holds path to disk, so that a created, renamed or removed
// name in it survives a power cut.
void FlushDirectoryOf(const std::string& path);

// The permission bits and owner of a file, to give a replacement the same.
struct FileOwnership {
    uint32_t mode = 0;  // permission bits, set-id and sticky bits included
    uint32_t user = 0;
    uint32_t group = 0;
};
FileOwnership OwnershipOf(const std::string& path);

// The user this process acts as (its effective user id).
uint32_t CurrentUser();

// True for the errors of an operation the process may not do (no permission, a read-only
// file system), as against one that went wrong.
bool IsAccessRefused(int code);

// True when standard error is a terminal (progress is drawn only there).
bool StandardErrorIsTerminal();

}  // namespace host
