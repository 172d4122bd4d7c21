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

class EZlibError : public std::runtime_error {
public:
    EZlibError() : std::runtime_error("Error") {}
};

class ECompressionError : public EZlibError {};
class EDecompressionError : public EZlibError {};

// Raised by a progress callback to stop the operation because the user asked for it. It
// leaves the operation as any raised error does: a build's new file is removed, an update
// is rolled back, the files an extraction had finished stay.
class ECancelled : public std::runtime_error {
public:
    ECancelled() : std::runtime_error("stopped") {}
};

// The message of a read that needed more bytes than the file holds.
inline constexpr const char* kReadBeyondEndOfFile = "Read beyond end of file";
