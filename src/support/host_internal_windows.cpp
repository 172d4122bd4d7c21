#include "support/host_internal.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "support/errors.h"

// What the Windows host files share: the messages and the test hooks' faults. The POSIX
// descriptors of host_internal.h (OpenPath, StatPath, ReopenDescriptor, ListOpenFolder,
// InfoOf) have no Windows side: the Windows host files reach files through wide long paths
// (host_paths_windows.h) and handles.
namespace host::internal {

std::string OsMessage(const char* what, const std::string& path, int code) {
    return std::string(what) + " \"" + path + "\": " + std::strerror(code);
}

void Raise(const char* what, const std::string& path, int code) {
    throw EInOutError(code, OsMessage(what, path, code));
}

// As abrupt as SIGKILL: no destructor, no flush, no handler runs.
void KillThisProcess() {
    ::TerminateProcess(::GetCurrentProcess(), 137);
    std::abort();
}

int InjectedError(hooks::Operation operation, bool* skipped) {
    const std::optional<hooks::Fault> fault = hooks::BeforeOperation(operation);
    if (!fault) return 0;
    if (fault->kill) KillThisProcess();
    if (skipped != nullptr) *skipped = fault->code == 0 && fault->skip;
    return fault->code;
}

}  // namespace host::internal
