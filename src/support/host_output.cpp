#include "support/host_output.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"

namespace host {

void TellClosedOutput() { std::signal(SIGPIPE, SIG_IGN); }

void WriteStandardOutput(const void* data, int64_t count) {
    const auto* at = static_cast<const uint8_t*>(data);
    while (count > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, at, static_cast<size_t>(count));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno == EPIPE) throw EClosedOutput();
        if (written <= 0) {
            const int code = written < 0 ? errno : EIO;
            throw EInOutError(code, "Cannot write standard output: " + ErrorText(code));
        }
        at += written;
        count -= written;
    }
}

}  // namespace host
