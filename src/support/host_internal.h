// What the files of the host module share among themselves; nothing else includes it.
#pragma once

#include <sys/stat.h>

#include <string>

#include "support/entry_info.h"
#include "support/host_hooks.h"

namespace host::internal {

// what + " \"" + path + "\": " + the OS text of code.
std::string OsMessage(const char* what, const std::string& path, int code);
// Raises EInOutError with code and OsMessage's text.
[[noreturn]] void Raise(const char* what, const std::string& path, int code);

EntryInfo InfoOf(const struct stat& st);

[[noreturn]] void KillThisProcess();

// open(2) and stat(2) that take a path of any length: one longer than the kernel takes
// (ENAMETOOLONG) is resolved a component at a time from the folders of the path resolved
// last on this thread, so that paths taken in the order of a walk cost a few calls each.
// Each returns as the call it stands for does (-1 with errno).
int OpenPath(const std::string& path, int flags, mode_t mode);
int StatPath(const std::string& path, struct stat& st, bool followLink);

// Another descriptor of the file fd stands for (fd may be an O_PATH one), opened with flags
// through /proc without looking the file's name up; where /proc is missing, path is opened,
// and kept only when it still names that file (else ESTALE). -1 with errno on failure.
int ReopenDescriptor(int fd, int flags, const std::string& path);

// Every entry of the open folder fd, which it takes over and closes (see ListDirectory).
DirListing ListOpenFolder(int fd);

// Runs before every counted operation other than a write: kills the process when a test
// asked for that, and returns the error code a test wants the operation to fail with (0:
// none). A write asks hooks::BeforeOperation itself, since it writes half its bytes first.
// skipped, where given, tells whether a test wants the operation left out (a flush).
int InjectedError(hooks::Operation operation, bool* skipped = nullptr);

}  // namespace host::internal
