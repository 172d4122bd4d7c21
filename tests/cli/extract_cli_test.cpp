#include <gtest/gtest.h>

#include <filesystem>

#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/crafted_archives.h"
#include "helpers/run_cli.h"
#include "helpers/run_cli_terminal.h"
#include "helpers/temp_dir.h"
#include "support/zlib_adapter.h"

namespace fs = std::filesystem;

namespace {
TestFile File(const std::string& name, const std::string& content) { return {name, Bytes(content)}; }
}  // namespace

TEST(ExtractCommand, CreatesTheTargetWithItsParentsAndPrintsTheCount) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {{"d", {}, {File("a", "1")}}}, {File("b", "2")}});
    const CliResult result = RunVpak({"extract", dir / "x.pak", dir / "new/deep/out"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "O.K. Successfully extracted 2 files!\n");
    EXPECT_EQ(result.err, "") << "no progress when standard error is not a terminal";
    EXPECT_EQ(ReadFileText(dir / "new/deep/out/d/a"), "1");
}

TEST(ExtractCommand, XboxArchivesNeedTheXboxFlag) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("b", "2")}}, true);
    const CliResult result = RunVpak({"extract", "--xbox", dir / "x.pak", dir / "xbox"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(ReadFileText(dir / "xbox/b"), "2");
}

TEST(ExtractCommand, HashAndNoLocFlagsReachTheEngine) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("t.loc", std::string("\0\0\0\0", 4))}});
    ASSERT_EQ(RunVpak({"extract", "--hash", "--no-loc", dir / "x.pak", dir / "out"}).status, 0);
    ASSERT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1);
    const fs::path written = fs::directory_iterator(dir / "out")->path();
    EXPECT_EQ(written.filename().string().size(), std::string("t.[]").size() + 24 + 4);
    EXPECT_EQ(fs::file_size(written), 4u) << "the table is written as stored";
}

TEST(ExtractCommand, AFailedFileIsNamedWithTheReasonThenErrorAndExitOne) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("bad.loc", "xy")}});
    const CliResult result = RunVpak({"extract", dir / "x.pak", dir / "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error :-(\nvpak: cannot extract \"bad.loc\": its string table does not convert to text "
                          "(damaged, or the text would be far larger than the table)\n");
}

TEST(ExtractCommand, AFileWhereTheArchiveHasAFolderOfTheSameNameFailsAloneAndTheRestIsExtracted) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak",
                     TestFolder{"", {{"x", {}, {File("y", "below")}}}, {File("x", "clash"), File("z", "after")}});
    const CliResult result = RunVpak({"extract", dir / "x.pak", dir / "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error :-(\nvpak: cannot extract \"x\": a folder of that name stands in its place\n");
    EXPECT_EQ(ReadFileText(dir / "out/x/y"), "below");
    EXPECT_EQ(ReadFileText(dir / "out/z"), "after");
}

TEST(ExtractCommand, ALocTableOfOffsetsSharingOneLongStringIsAFailedFileWithoutLargeMemory) {
    TempDir dir;
    // About a kilobyte of archive whose table would turn into 1.5 GB of text.
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {{"bomb.loc", LocBombTable(1500, 1 << 20)}}});
    ASSERT_LT(fs::file_size(dir / "x.pak"), 4096u);
    const CliResult result = RunVpak({"extract", "-q", dir / "x.pak", dir / "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error :-(\nvpak: cannot extract \"bomb.loc\": its string table does not convert to text "
                          "(damaged, or the text would be far larger than the table)\n");
    EXPECT_LT(result.peakMemoryBytes, int64_t{256} << 20);
}

TEST(ExtractCommand, ATruncatedArchiveExitsThreeWithTheMessage) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("a", std::string(5000, 'q') + "tail")}});
    TArrayOfByte bytes = ReadFileBytes(dir / "x.pak");
    bytes.resize(bytes.size() - 3);
    WriteFile(dir / "x.pak", bytes);
    const CliResult result = RunVpak({"extract", dir / "x.pak", dir / "out"});
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find("Read beyond end of file"), std::string::npos) << result.err;
}

TEST(ExtractCommand, ADamagedStreamIsARaisedErrorNamingItsEntry) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {{"d", {}, {File("a", std::string(5000, 'q'))}}}, {}});
    TArrayOfByte bytes = ReadFileBytes(dir / "x.pak");
    const ProbedEntry entry = ProbeEntries(dir / "x.pak").at(0);
    for (int32_t i = 2; i < entry.packedSize; ++i) bytes[static_cast<size_t>(entry.absOffset + i)] ^= 0x5A;
    WriteFile(dir / "x.pak", bytes);
    const CliResult result = RunVpak({"extract", dir / "x.pak", dir / "out"});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err, "vpak: Damaged stream of entry \"d/a\" in \"" + dir / "x.pak" + "\"\n");
}

TEST(ExtractCommand, AnEmptyDirectoryIsTheCurrentOne) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("b", "2")}});
    std::filesystem::create_directory(dir / "work");
    const CliResult result = RunVpak({"extract", dir / "x.pak", ""}, dir / "work");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "O.K. Successfully extracted 1 files!\n");
    EXPECT_EQ(ReadFileText(dir / "work/b"), "2");
}

TEST(ExtractCommand, AnArchiveThatDoesNotReadLeavesNoTargetAndSaysWhy) {
    TempDir dir;
    WriteTestArchive(dir / "xbox.pak", TestFolder{"", {}, {File("b", "2")}}, true);
    const struct {
        std::string archive, reason;
    } cases[] = {
        {dir / "missing.pak", "cannot open the archive \"" + dir / "missing.pak" + "\": No such file or directory"},
        {dir / "xbox.pak", "cannot read the archive \"" + dir / "xbox.pak" + "\": it reads as an Xbox 360 archive: try --xbox"},
    };
    for (const auto& c : cases) {
        const CliResult result = RunVpak({"extract", c.archive, dir / "out/deep"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "Error :-(\nvpak: " + c.reason + "\n");
        EXPECT_FALSE(fs::exists(dir / "out")) << c.archive;
    }
}

TEST(ExtractCommand, MissingDirectoryArgumentIsAUsageError) {
    TempDir dir;
    const CliResult result = RunVpak({"extract", dir / "x.pak"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("extract"), std::string::npos);
    EXPECT_NE(result.err.find("--hash"), std::string::npos) << "usage errors print the command's help";
}

TEST(ExtractCommand, ProgressWithTheCurrentPathIsDrawnOnATerminal) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {{"d", {}, {File("a", "1")}}}, {File("b", "2")}});
    const CliResult result = RunVpakOnTerminal({"extract", dir / "x.pak", dir / "out"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "O.K. Successfully extracted 2 files!\n");
    EXPECT_NE(result.err.find("\rcreating sub-directory structure..."), std::string::npos) << result.err;
    EXPECT_EQ(result.err.back(), '\r') << "the bar is cleared at the end";
}

TEST(ExtractCommand, QuietOptionDrawsNothingOnATerminal) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("b", "2")}});
    const CliResult result = RunVpakOnTerminal({"extract", "-q", dir / "x.pak", dir / "out"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
}
