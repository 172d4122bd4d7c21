#include "support/host_output.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_errors_windows.h"

namespace host {

// Windows sends no signal for a closed pipe: a write to it fails with ERROR_NO_DATA or
// ERROR_BROKEN_PIPE, told apart below.
void TellClosedOutput() {}

void WriteStandardOutput(const void* data, int64_t count) {
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const auto* at = static_cast<const uint8_t*>(data);
    while (count > 0) {
        // WriteFile takes a DWORD, and a console takes no more than some tens of kilobytes.
        const DWORD piece = static_cast<DWORD>(std::min<int64_t>(count, 32 * 1024));
        DWORD written = 0;
        const BOOL wrote = ::WriteFile(output, at, piece, &written, nullptr);
        if (!wrote || written == 0) {
            const DWORD error = wrote ? ERROR_SUCCESS : ::GetLastError();
            if (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE) throw EClosedOutput();
            const int code = error == ERROR_SUCCESS ? EIO : ErrnoOfWindowsError(error);
            throw EInOutError(code, "Cannot write standard output: " + ErrorText(code));
        }
        at += written;
        count -= written;
    }
}

}  // namespace host
