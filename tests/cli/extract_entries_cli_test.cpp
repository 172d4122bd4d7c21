#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "helpers/archive_writer.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

TestFile File(const std::string& name, const std::string& content) { return {name, Bytes(content)}; }

// data/x.bin, data/sub/y.bin, data/sub/n.txt, other/z.txt, top.txt
TestFolder SampleTree() {
    return TestFolder{"",
                      {{"data", {{"sub", {}, {File("y.bin", "y"), File("n.txt", "n")}}}, {File("x.bin", "x")}},
                       {"other", {}, {File("z.txt", "z")}}},
                      {File("top.txt", "t")}};
}

// Every file and folder below root, relative to it, sorted.
std::vector<std::string> TreeOf(const std::string& root) {
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
        found.push_back(fs::relative(entry.path(), root).string());
    std::sort(found.begin(), found.end());
    return found;
}

class ExtractEntries : public ::testing::Test {
protected:
    void SetUp() override { WriteTestArchive(dir_ / "x.pak", SampleTree()); }
    std::string Archive() const { return dir_ / "x.pak"; }
    std::string Out() const { return dir_ / "out"; }
    TempDir dir_;
};

TEST_F(ExtractEntries, WritesOnlyTheSelectedFilesAndTheFoldersTheyNeed) {
    const CliResult result = RunVpak({"extract", Archive(), Out(), "DATA/SUB/*.bin", "top.txt"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "O.K. Successfully extracted 2 files!\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(TreeOf(Out()), (std::vector<std::string>{"data", "data/sub", "data/sub/y.bin", "top.txt"}));
    EXPECT_EQ(ReadFileText(Out() + "/data/sub/y.bin"), "y");
}

// "*" stands for characters within one part of the path, never for a separator: only "**"
// reaches into sub-folders.
struct WithinOnePartCase {
    const char* pattern;
    std::vector<std::string> written;
};

void PrintTo(const WithinOnePartCase& c, std::ostream* out) { *out << c.pattern; }

class StarWithinOnePart : public ExtractEntries, public ::testing::WithParamInterface<WithinOnePartCase> {};

TEST_P(StarWithinOnePart, SelectsNoFileOfASubFolder) {
    const CliResult result = RunVpak({"extract", Archive(), Out(), GetParam().pattern});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(TreeOf(Out()), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Cases, StarWithinOnePart,
                         ::testing::Values(WithinOnePartCase{"data/*.bin", {"data", "data/x.bin"}},
                                           WithinOnePartCase{"*.txt", {"top.txt"}},
                                           WithinOnePartCase{"data\\*\\*.txt", {"data", "data/sub", "data/sub/n.txt"}}));

TEST_F(ExtractEntries, AFolderSelectsEverythingBelowIt) {
    ASSERT_EQ(RunVpak({"extract", Archive(), Out(), "data\\sub"}).status, 0);
    EXPECT_EQ(TreeOf(Out()), (std::vector<std::string>{"data", "data/sub", "data/sub/n.txt", "data/sub/y.bin"}));
}

TEST_F(ExtractEntries, AFileTwoPatternsSelectIsWrittenAndCountedOnce) {
    const CliResult result = RunVpak({"extract", Archive(), Out(), "**/*.txt", "other"});
    EXPECT_EQ(result.out, "O.K. Successfully extracted 3 files!\n");
}

TEST_F(ExtractEntries, AnEntrySelectingNothingIsNamedExitsOneAndTheOthersAreExtracted) {
    const CliResult result = RunVpak({"extract", Archive(), Out(), "missing/*.bin", "other"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error :-(\nvpak: cannot extract \"missing/*.bin\": the archive holds no file it selects\n");
    EXPECT_EQ(TreeOf(Out()), (std::vector<std::string>{"other", "other/z.txt"}));
}

TEST_F(ExtractEntries, NothingSelectedCreatesNoTarget) {
    EXPECT_EQ(RunVpak({"extract", Archive(), Out(), "missing"}).status, 1);
    EXPECT_FALSE(fs::exists(Out()));
}

TEST_F(ExtractEntries, AnEntryWithADotDotPartIsAUsageErrorAndNothingIsWritten) {
    const CliResult result = RunVpak({"extract", Archive(), Out(), "other", "data/../top.txt"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("\"data/../top.txt\""), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(Out()));
}

TEST_F(ExtractEntries, AnAbsoluteOrEmptyEntryIsAUsageError) {
    EXPECT_EQ(RunVpak({"extract", Archive(), Out(), "/top.txt"}).status, 2);
    EXPECT_EQ(RunVpak({"extract", Archive(), Out(), ""}).status, 2);
    EXPECT_FALSE(fs::exists(Out()));
}

TEST(ExtractEntriesCost, AnUnselectedEntrysStreamIsNeverRead) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("a.bin", "a"), File("z.bin", std::string(300, 'z'))}});
    // The archive ends with the checksum of z.bin's stream: a whole extraction fails there.
    TArrayOfByte bytes = ReadFileBytes(dir / "x.pak");
    bytes.back() ^= 0xFF;
    WriteFile(dir / "x.pak", bytes);
    ASSERT_EQ(RunVpak({"extract", dir / "x.pak", dir / "all"}).status, 3);
    const CliResult result = RunVpak({"extract", dir / "x.pak", dir / "out", "a.bin"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadFileText(dir / "out/a.bin"), "a");
}

TEST(ExtractEntriesSafety, ASelectedEntryWhoseNameLeavesTheTargetIsRefusedAsInAWholeExtraction) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {{"..", {}, {File("evil", "e")}}}, {File("good", "g")}});
    const CliResult result = RunVpak({"extract", dir / "x.pak", dir / "in/out", "**"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("cannot extract \"../evil\""), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(dir / "in/evil"));
    EXPECT_EQ(ReadFileText(dir / "in/out/good"), "g");
}

TEST(ExtractEntriesSafety, TheArchiveItselfIsNeverWrittenOver) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("x.pak", "not an archive")}});
    const TArrayOfByte before = ReadFileBytes(dir / "x.pak");
    const CliResult result = RunVpak({"extract", dir / "x.pak", dir.Path(), "X.PAK"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(ReadFileBytes(dir / "x.pak"), before);
}

}  // namespace
