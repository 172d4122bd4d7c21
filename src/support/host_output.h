// Standard output as a byte channel: content written as it is, whatever it holds, with a
// reader that goes away (the end of `| head`) told apart from a failing write.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace host {

// Raised when the reader of standard output has closed it (EPIPE). Nothing is wrong with
// what was read: the reader has all it wanted.
class EClosedOutput : public std::runtime_error {
public:
    EClosedOutput() : std::runtime_error("standard output was closed by its reader") {}
};

// Writes to standard output from now on report a closed pipe as EClosedOutput instead of
// ending the process with SIGPIPE.
void TellClosedOutput();

// Writes all count bytes to standard output, past the C++ streams. Raises EClosedOutput for
// a closed pipe and EInOutError ("Cannot write standard output: ...") for any other failure.
void WriteStandardOutput(const void* data, int64_t count);

}  // namespace host
