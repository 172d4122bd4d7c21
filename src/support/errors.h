// Errors raised by the support and engine layers. The engine never catches them;
// each front end catches them at the top of a command.
#pragma once

#include <stdexcept>
#include <string>

// An input/output failure: carries the OS error code (0 when there is none, as for a
// read that ran past the end of a file) and a message naming the failure and the path.
class EInOutError : public std::runtime_error {
public:
    EInOutError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int Code() const { return code_; }

private:
    int code_;
};

// A file another process holds locked, where this process was told not to wait for it.
class EFileBusy : public EInOutError {
public:
    using EInOutError::EInOutError;
};

// The zlib routines know nothing of what they compress or inflate, and say only "Error";
// the engine raises these again with a message that names the stream: the directory of an
// archive, or the stream of one entry.
class EZlibError : public std::runtime_error {
public:
    explicit EZlibError(const std::string& message = "Error") : std::runtime_error(message) {}
};

class ECompressionError : public EZlibError {
public:
    using EZlibError::EZlibError;
};

class EDecompressionError : public EZlibError {
public:
    using EZlibError::EZlibError;
};

// Raised by a progress callback to stop the operation because the user asked for it. It
// leaves the operation as any raised error does: a build's new file is removed, an update
// is rolled back, the files an extraction had finished stay.
class ECancelled : public std::runtime_error {
public:
    ECancelled() : std::runtime_error("stopped") {}
};

// The message of a read that needed more bytes than the file holds.
inline constexpr const char* kReadBeyondEndOfFile = "Read beyond end of file";
