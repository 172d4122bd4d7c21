#include "support/whole_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>

#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// A FIFO that is also held open for writing here, so that nothing that opens it can block.
class Fifo {
public:
    explicit Fifo(const std::string& path) {
        if (::mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed");
        fd_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
    }
    ~Fifo() {
        if (fd_ >= 0) ::close(fd_);
    }

private:
    int fd_ = -1;
};

}  // namespace

TEST(ReadWholeFileRoutine, ReadsTheWholeContentReplacingTheBuffer) {
    TempDir dir;
    WriteFile(dir / "f", std::string("ab\0cd", 5));
    TArrayOfByte buffer(100, 0xEE);
    EXPECT_TRUE(ReadWholeFile(dir / "f", buffer));
    EXPECT_EQ(buffer, (TArrayOfByte{'a', 'b', 0, 'c', 'd'}));
}

TEST(ReadWholeFileRoutine, AnEmptyFileGivesAnEmptyBufferAndTrue) {
    TempDir dir;
    WriteFile(dir / "empty", "");
    TArrayOfByte buffer = {1, 2, 3};
    EXPECT_TRUE(ReadWholeFile(dir / "empty", buffer));
    EXPECT_TRUE(buffer.empty());
}

TEST(ReadWholeFileRoutine, AMissingFileOrADirectoryGivesFalseAndLeavesTheBuffer) {
    TempDir dir;
    TArrayOfByte buffer = {1, 2, 3};
    EXPECT_FALSE(ReadWholeFile(dir / "missing", buffer));
    EXPECT_FALSE(ReadWholeFile(dir.Path(), buffer));
    EXPECT_FALSE(ReadWholeFile("", buffer));
    EXPECT_EQ(buffer, (TArrayOfByte{1, 2, 3}));
}

TEST(ReadWholeFileRoutine, AFifoGivesFalse) {
    TempDir dir;
    Fifo fifo(dir / "pipe");
    TArrayOfByte buffer = {7};
    EXPECT_FALSE(ReadWholeFile(dir / "pipe", buffer));
    EXPECT_EQ(buffer, (TArrayOfByte{7}));
}

TEST(ReadWholeFileRoutine, ABackslashIsPartOfTheNameNotASeparator) {
    TempDir dir;
    WriteFile(dir / "a/b.txt", "the other file");
    WriteFile(dir / "a\\b.txt", "its own content");
    TArrayOfByte buffer;
    EXPECT_TRUE(ReadWholeFile(dir / "a\\b.txt", buffer));
    EXPECT_EQ(buffer, Bytes("its own content"));
}

TEST(ReadWholeFileOrSayWhyRoutine, SaysWhyTheContentWasNotObtained) {
    TempDir dir;
    WriteFile(dir / "big", std::string(100, 'x'));
    Fifo fifo(dir / "pipe");
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    const std::pair<std::string, std::string> cases[] = {
        {dir / "missing", "No such file or directory"},
        {dir / "dangling", "No such file or directory"},
        {dir.Path(), "Is a directory"},
        {dir / "pipe", "not a regular file"},
        {dir / "big", "it is larger than 99 bytes"},
    };
    for (const auto& [path, reason] : cases) {
        TArrayOfByte buffer = {7};
        EXPECT_EQ(ReadWholeFileOrSayWhy(path, buffer, 99), reason) << path;
        EXPECT_EQ(buffer, (TArrayOfByte{7})) << path;
    }
    TArrayOfByte buffer;
    EXPECT_EQ(ReadWholeFileOrSayWhy(dir / "big", buffer, 100), "");
    EXPECT_EQ(buffer.size(), 100u);
}

// One room serves file after file: it grows for a larger one and is not cut for a smaller
// one, and the size says how much of it is the content. What cannot be read is said in the
// words ReadWholeFileOrSayWhy uses.
TEST(ReadWholeFileIntoRoomOrSayWhyRoutine, OneRoomServesFileAfterFile) {
    TempDir dir;
    WriteFile(dir / "long", std::string(5000, 'l'));
    WriteFile(dir / "short", "short");
    WriteFile(dir / "empty", "");
    Fifo fifo(dir / "pipe");
    struct Case {
        std::string name;
        std::string reason;  // "" when it is read
        std::string content;
        size_t roomAtLeast;
    };
    const Case cases[] = {
        {"short", "", "short", 5},     {"long", "", std::string(5000, 'l'), 5000},
        {"short", "", "short", 5000},  {"empty", "", "", 5000},
        {"missing", "No such file or directory", "", 5000},
        {"pipe", "not a regular file", "", 5000},
    };
    TArrayOfByte room;
    for (const Case& c : cases) {
        int64_t size = -1;
        EXPECT_EQ(ReadWholeFileIntoRoomOrSayWhy(dir / c.name, room, size), c.reason) << c.name;
        EXPECT_EQ(size, static_cast<int64_t>(c.content.size())) << c.name;
        EXPECT_GE(room.size(), c.roomAtLeast) << c.name;
        EXPECT_EQ(std::string(room.begin(), room.begin() + size), c.content) << c.name;
        TArrayOfByte buffer;
        EXPECT_EQ(ReadWholeFileOrSayWhy(dir / c.name, buffer), c.reason) << c.name;
    }
    int64_t size = -1;
    EXPECT_EQ(ReadWholeFileIntoRoomOrSayWhy(dir / "long", room, size, 4999), "it is larger than 4999 bytes");
    EXPECT_EQ(size, 0);
}
