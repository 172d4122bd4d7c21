#include "support/host_internal.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "support/errors.h"

namespace host::internal {

std::string OsMessage(const char* what, const std::string& path, int code) {
    return std::string(what) + " \"" + path + "\": " + std::strerror(code);
}

void Raise(const char* what, const std::string& path, int code) {
    throw EInOutError(code, OsMessage(what, path, code));
}

EntryInfo InfoOf(const struct stat& st) {
    EntryInfo info;
    if (S_ISDIR(st.st_mode)) info.kind = EntryKind::Directory;
    else if (S_ISREG(st.st_mode)) info.kind = EntryKind::File;
    else info.kind = EntryKind::Other;
    info.size = st.st_size;
    info.identity = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    info.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return info;
}

void KillThisProcess() {
    ::kill(::getpid(), SIGKILL);
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
