#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/errors.h"
#include "support/host_output.h"

namespace {

// Standard output turned to a fresh pipe for the test's length.
class PipedOutput {
public:
    PipedOutput() {
        EXPECT_TRUE(::CreatePipe(&read_, &write_, nullptr, 1 << 20));
        saved_ = ::GetStdHandle(STD_OUTPUT_HANDLE);
        ::SetStdHandle(STD_OUTPUT_HANDLE, write_);
    }
    ~PipedOutput() {
        ::SetStdHandle(STD_OUTPUT_HANDLE, saved_);
        if (read_ != nullptr) ::CloseHandle(read_);
        ::CloseHandle(write_);
    }
    std::string Read(DWORD count) {
        std::string bytes(count, '\0');
        DWORD got = 0;
        EXPECT_TRUE(::ReadFile(read_, bytes.data(), count, &got, nullptr));
        bytes.resize(got);
        return bytes;
    }
    void CloseReader() {
        ::CloseHandle(read_);
        read_ = nullptr;
    }

private:
    HANDLE read_ = nullptr;
    HANDLE write_ = nullptr;
    HANDLE saved_ = nullptr;
};

}  // namespace

TEST(WindowsStandardOutput, BytesArriveAsTheyAreLineEndsAndZerosIncluded) {
    PipedOutput pipe;
    const std::string bytes("a\nb\r\n\0\xFF", 7);
    host::WriteStandardOutput(bytes.data(), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(pipe.Read(64), bytes);
}

TEST(WindowsStandardOutput, AReaderThatWentAwayIsAClosedOutputNotAFailure) {
    PipedOutput pipe;
    pipe.CloseReader();
    host::TellClosedOutput();
    EXPECT_THROW(host::WriteStandardOutput("x", 1), host::EClosedOutput);
}
