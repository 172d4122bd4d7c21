#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>

#include "helpers/crafted_archives.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace {

// Count 2, offsets 0 and 2, character area "A" NUL "B" NUL, little-endian.
const std::string kLittleTable("\x02\0\0\0\0\0\0\0\x02\0\0\0A\0B\0", 16);
const std::string kBigTable("\0\0\0\x02\0\0\0\0\0\0\0\x02" "A\0B\0", 16);

}  // namespace

TEST(TagCommand, PrintsTheTagTextOfThePath) {
    const std::pair<std::string, std::string> cases[] = {
        {"abc", "a9993e364706816aba3e2571\n"},
        {"Text/Menu.LOC", "c8ef54dca9c97b5e95b3b4ae\n"},  // case and slashes are folded
        {"", "000000000000000000000000\n"},               // the empty path: twenty-four zeros
    };
    for (const auto& [path, tag] : cases) {
        const CliResult result = RunVpak({"tag", path});
        EXPECT_EQ(result.status, 0) << path;
        EXPECT_EQ(result.out, tag) << path;
        EXPECT_EQ(result.err, "") << path;
    }
}

TEST(TagCommand, MissingPathIsAUsageError) {
    const CliResult result = RunVpak({"tag"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("PATH"), std::string::npos);
}

TEST(LocCommands, Loc2TxtWritesTheTextAndPrintsNothing) {
    TempDir dir;
    WriteFile(dir / "menu.loc", kLittleTable);
    const CliResult result = RunVpak({"loc2txt", dir / "menu.loc", dir / "menu.txt"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ReadFileText(dir / "menu.txt"), "A\r\nB\r\n");
}

TEST(LocCommands, Txt2LocWritesTheBinaryTable) {
    TempDir dir;
    WriteFile(dir / "menu.txt", "A\r\nB\r\n");
    const CliResult result = RunVpak({"txt2loc", dir / "menu.txt", dir / "menu.loc"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ReadFileText(dir / "menu.loc"), std::string("\x02\0\0\0\x07\0\0\0\x09\0\0\0ZORVEL\0A\0B\0", 23));
}

TEST(LocCommands, XboxFlagSelectsBigEndian) {
    TempDir dir;
    WriteFile(dir / "menu.loc", kBigTable);
    EXPECT_EQ(RunVpak({"loc2txt", "--xbox", dir / "menu.loc", dir / "menu.txt"}).status, 0);
    EXPECT_EQ(ReadFileText(dir / "menu.txt"), "A\r\nB\r\n");

    EXPECT_EQ(RunVpak({"txt2loc", "--xbox", dir / "menu.txt", dir / "back.loc"}).status, 0);
    EXPECT_EQ(ReadFileText(dir / "back.loc"), std::string("\0\0\0\x02\0\0\0\x07\0\0\0\x09ZORVEL\0A\0B\0", 23));
}

TEST(LocCommands, RoundTripReproducesAWrittenTable) {
    TempDir dir;
    WriteFile(dir / "a.txt", "tab\\09here~7E\r\n\r\nlast");
    ASSERT_EQ(RunVpak({"txt2loc", dir / "a.txt", dir / "a.loc"}).status, 0);
    ASSERT_EQ(RunVpak({"loc2txt", dir / "a.loc", dir / "b.txt"}).status, 0);
    EXPECT_EQ(ReadFileText(dir / "b.txt"), "tab\\09here\\7E\r\n\r\nlast\r\n");
    ASSERT_EQ(RunVpak({"txt2loc", dir / "b.txt", dir / "b.loc"}).status, 0);
    EXPECT_EQ(ReadFileBytes(dir / "b.loc"), ReadFileBytes(dir / "a.loc"));
}

TEST(LocCommands, EmptyTableGivesAnEmptyTextFile) {
    TempDir dir;
    WriteFile(dir / "empty.loc", std::string(4, '\0'));
    EXPECT_EQ(RunVpak({"loc2txt", dir / "empty.loc", dir / "empty.txt"}).status, 0);
    ASSERT_TRUE(std::filesystem::exists(dir / "empty.txt"));
    EXPECT_EQ(ReadFileText(dir / "empty.txt"), "");
}

TEST(LocCommands, BadTableFailsAndWritesNothing) {
    TempDir dir;
    const std::vector<std::string> badTables{
        std::string("\x01\0", 2),                                // shorter than the count
        std::string("\xFF\xFF\xFF\xFF" "abcd", 8),               // negative count
        std::string("\x01\0\0\x40\0\0\0\0abcd", 12),             // count 0x40000001
        std::string("\x01\0\0\0\x04\0\0\0" "abcd", 12),          // offset at the end of the area
    };
    for (const std::string& table : badTables) {
        WriteFile(dir / "bad.loc", table);
        const CliResult result = RunVpak({"loc2txt", dir / "bad.loc", dir / "bad.txt"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "Error :-(\n");
        EXPECT_FALSE(std::filesystem::exists(dir / "bad.txt"));
    }
}

TEST(LocCommands, ATableOfOffsetsSharingOneLongStringFailsWithoutLargeMemory) {
    TempDir dir;
    WriteFile(dir / "bomb.loc", LocBombTable(1500, 1 << 20));
    const CliResult result = RunVpak({"loc2txt", dir / "bomb.loc", dir / "bomb.txt"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error :-(\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "bomb.txt"));
    EXPECT_LT(result.peakMemoryBytes, int64_t{256} << 20);
}

TEST(LocCommands, FailedConversionLeavesAnExistingOutputAlone) {
    TempDir dir;
    WriteFile(dir / "bad.loc", std::string("\x05\0\0\0", 4));
    WriteFile(dir / "out.txt", "previous");
    EXPECT_EQ(RunVpak({"loc2txt", dir / "bad.loc", dir / "out.txt"}).status, 1);
    EXPECT_EQ(ReadFileText(dir / "out.txt"), "previous");
}

TEST(LocCommands, MissingInputFails) {
    TempDir dir;
    for (const char* command : {"loc2txt", "txt2loc"}) {
        const CliResult result = RunVpak({command, dir / "absent", dir / "out"});
        EXPECT_EQ(result.status, 1) << command;
        EXPECT_EQ(result.err, "Error :-(\n") << command;
        EXPECT_FALSE(std::filesystem::exists(dir / "out")) << command;
    }
}

TEST(LocCommands, UnwritableOutputIsARaisedError) {
    TempDir dir;
    WriteFile(dir / "menu.txt", "A\r\n");
    const CliResult result = RunVpak({"txt2loc", dir / "menu.txt", dir / "no-such-dir/menu.loc"});
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find("no-such-dir"), std::string::npos);
}

TEST(LocCommands, AFifoAsOutputReceivesTheTextAndStaysAFifo) {
    TempDir dir;
    WriteFile(dir / "menu.loc", kLittleTable);
    const std::string fifo = dir / "menu.txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The reading end is open before vpak starts, so vpak's open for writing does not wait.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const CliResult result = RunVpak({"loc2txt", dir / "menu.loc", fifo});
    char buffer[64];
    const ssize_t n = read(reader, buffer, sizeof buffer);
    close(reader);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(n > 0 ? n : 0)), "A\r\nB\r\n");
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

TEST(LocCommands, AnOutputLinkStaysALinkToTheReplacedFile) {
    TempDir dir;
    WriteFile(dir / "menu.txt", "A\r\nB\r\n");
    WriteFile(dir / "tables/menu.loc", "old table");
    std::filesystem::create_symlink("tables/menu.loc", dir / "link.loc");
    const CliResult result = RunVpak({"txt2loc", dir / "menu.txt", dir / "link.loc"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.loc"));
    EXPECT_EQ(std::filesystem::read_symlink(dir / "link.loc"), "tables/menu.loc");
    EXPECT_EQ(ReadFileText(dir / "tables/menu.loc"), std::string("\x02\0\0\0\x07\0\0\0\x09\0\0\0ZORVEL\0A\0B\0", 23));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "tables"), {}), 1);
}

TEST(LocCommands, ADirectoryAsOutputIsARaisedErrorNamingIt) {
    TempDir dir;
    WriteFile(dir / "menu.loc", kLittleTable);
    std::filesystem::create_directory(dir / "menu.txt");
    const CliResult result = RunVpak({"loc2txt", dir / "menu.loc", dir / "menu.txt"});
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find(dir / "menu.txt"), std::string::npos) << result.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir / "menu.txt"));
}

TEST(LocCommands, MissingArgumentIsAUsageError) {
    TempDir dir;
    for (const char* command : {"loc2txt", "txt2loc"}) {
        const CliResult result = RunVpak({command, dir / "in"});
        EXPECT_EQ(result.status, 2) << command;
        EXPECT_NE(result.err.find("OUT"), std::string::npos) << command;
    }
}
