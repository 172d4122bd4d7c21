// What the files of the host module share among themselves; nothing else includes it.
#pragma once

#include <sys/stat.h>

#include <string>

#include "support/host_entries.h"
#include "support/host_hooks.h"

namespace host::internal {

// what + " \"" + path + "\": " + the OS text of code.
std::string OsMessage(const char* what, const std::string& path, int code);
// Raises EInOutError with code and OsMessage's text.
[[noreturn]] void Raise(const char* what, const std::string& path, int code);

EntryInfo InfoOf(const struct stat& st);

[[noreturn]] void KillThisProcess();

// Runs before every counted operation other than a write: kills the process when a test
// asked for that, and returns the error code a test wants the operation to fail with (0:
// none). A write asks hooks::BeforeOperation itself, since it writes half its bytes first.
// skipped, where given, tells whether a test wants the operation left out (a flush).
int InjectedError(hooks::Operation operation, bool* skipped = nullptr);

}  // namespace host::internal
