#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "helpers/run_cli.h"
#include "helpers/run_cli_terminal.h"
#include "helpers/temp_dir.h"

namespace {

void WriteSmallTree(const TempDir& dir) {
    WriteFile(dir / "src/data/level.bin", "level");
    WriteFile(dir / "src/readme.txt", "read me");
}

}  // namespace

TEST(MakeCommand, PacksTheTreeAndPrintsTheCountsWithoutProgressOffATerminal) {
    TempDir dir;
    WriteSmallTree(dir);
    const CliResult result = RunVpak({"make", dir / "out.pak", dir / "src"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "O.K. Packed: 1 dirs and 2 files!\n");
    EXPECT_EQ(result.err, "");

    const CliResult list = RunVpak({"list", dir / "out.pak"});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("*data\\level.bin\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("*readme.txt\n"), std::string::npos) << list.out;
}

TEST(MakeCommand, CountsAreWrittenWithThousandsSeparators) {
    TempDir dir;
    for (int k = 0; k < 1001; ++k) WriteFile(dir / "src/f" + std::to_string(k), "");
    const CliResult result = RunVpak({"make", "-q", dir / "out.pak", dir / "src"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "O.K. Packed: 0 dirs and 1,001 files!\n");
}

TEST(MakeCommand, MissingDirectoryFailsWithStatusOneSayingWhyAndCreatesNothing) {
    TempDir dir;
    const CliResult result = RunVpak({"make", dir / "out.pak", dir / "missing"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "Error :-(\nvpak: cannot read the folder \"" + dir / "missing" + "\": No such file or directory\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "out.pak"));
}

TEST(MakeCommand, FileWhoseContentCannotBeReadIsNamedAndFailsWithStatusOneButTheArchiveLists) {
    TempDir dir;
    WriteSmallTree(dir);
    ASSERT_EQ(::mkfifo((dir / "src/pipe").c_str(), 0644), 0);
    const CliResult result = RunVpak({"make", dir / "out.pak", dir / "src"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error :-(\nvpak: cannot read \"" + dir / "src/pipe" + "\": not a regular file\n");
    const CliResult list = RunVpak({"list", dir / "out.pak"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out.find("pipe"), std::string::npos) << list.out;
}

TEST(MakeCommand, UsageErrorsExitTwoWithHelp) {
    TempDir dir;
    WriteSmallTree(dir);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"make", dir / "out.pak"}, std::vector<std::string>{"make", "--fast", dir / "out.pak", dir / "src"},
          std::vector<std::string>{"make", dir / "out.pak", dir / "src", "extra"}}) {
        const CliResult result = RunVpak(args);
        EXPECT_EQ(result.status, 2) << args[1];
        EXPECT_NE(result.err.find("Usage"), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.pak"));
}

TEST(MakeCommand, ArchiveThatCannotBeCreatedExitsThreeNamingIt) {
    TempDir dir;
    WriteSmallTree(dir);
    const std::string archive = dir / "no/such/folder/out.pak";
    const CliResult result = RunVpak({"make", archive, dir / "src"});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find(archive), std::string::npos) << result.err;
}

TEST(MakeCommand, XboxOptionWritesBigEndianIntegers) {
    TempDir dir;
    std::filesystem::create_directories(dir / "src");
    ASSERT_EQ(RunVpak({"make", "--xbox", dir / "out.pak", dir / "src"}).status, 0);
    const std::string archive = ReadFileText(dir / "out.pak");
    ASSERT_GE(archive.size(), 8u);
    EXPECT_EQ(archive.substr(0, 4), std::string("\0\0\0\x08", 4));
    EXPECT_EQ(static_cast<size_t>(static_cast<unsigned char>(archive[7])), archive.size());
}

TEST(MakeCommand, LocFilesAreConvertedUnlessNoLocIsGiven) {
    TempDir dir;
    WriteFile(dir / "src/strings.loc", "x\r\n");
    ASSERT_EQ(RunVpak({"make", dir / "converted.pak", dir / "src"}).status, 0);
    ASSERT_EQ(RunVpak({"make", "--no-loc", dir / "raw.pak", dir / "src"}).status, 0);
    // The table is count, one offset, "ZORVEL" NUL, "x" NUL: 17 bytes; the text is 3.
    const CliResult converted = RunVpak({"list", dir / "converted.pak"});
    const CliResult raw = RunVpak({"list", dir / "raw.pak"});
    EXPECT_NE(converted.out.find("*00000011*strings.loc"), std::string::npos) << converted.out;
    EXPECT_NE(raw.out.find("*00000003*strings.loc"), std::string::npos) << raw.out;
}

TEST(MakeCommand, ProgressIsDrawnOnATerminalAndClearedAtTheEnd) {
    TempDir dir;
    WriteSmallTree(dir);
    const CliResult result = RunVpakOnTerminal({"make", dir / "out.pak", dir / "src"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "O.K. Packed: 1 dirs and 2 files!\n");
    for (const char* phase : {"\rpreparing...", "\rscanning the directory...", "\rfinalizing..."})
        EXPECT_NE(result.err.find(phase), std::string::npos) << phase;
    // Cleared: the last thing drawn is a blank line with the cursor back at its start.
    const size_t lastReturn = result.err.find_last_of('\r');
    ASSERT_NE(lastReturn, std::string::npos);
    EXPECT_EQ(lastReturn, result.err.size() - 1);
    const size_t blankStart = result.err.find_last_of('\r', lastReturn - 1);
    ASSERT_NE(blankStart, std::string::npos);
    EXPECT_EQ(result.err.substr(blankStart + 1, lastReturn - blankStart - 1).find_first_not_of(' '), std::string::npos);
}

TEST(MakeCommand, QuietOptionDrawsNothingOnATerminal) {
    TempDir dir;
    WriteSmallTree(dir);
    const CliResult result = RunVpakOnTerminal({"make", "-q", dir / "out.pak", dir / "src"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "O.K. Packed: 1 dirs and 2 files!\n");
    EXPECT_EQ(result.err, "");
}
