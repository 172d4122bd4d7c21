#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/format/internal/loc_convert.h"
#include "helpers/random_bytes.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// A folder, and the archive `vpak make` packs from it; each test changes one of them.
class DiffCommand : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Tree() + "/data/sub");
        WriteFile(Tree() + "/data/x.bin", "x content");
        WriteFile(Tree() + "/data/sub/y.bin", "y");
        WriteFile(Tree() + "/text.loc", "hello\r\nworld\r\n");
        WriteFile(Tree() + "/top.txt", "top");
    }

    void Pack(const std::vector<std::string>& flags = {}) {
        std::vector<std::string> args{"make", "-q"};
        args.insert(args.end(), flags.begin(), flags.end());
        args.push_back(Archive());
        args.push_back(Tree());
        ASSERT_EQ(RunVpak(args).status, 0);
    }

    CliResult Diff(const std::vector<std::string>& flags = {}) const {
        std::vector<std::string> args{"diff"};
        args.insert(args.end(), flags.begin(), flags.end());
        args.push_back(Archive());
        args.push_back(Tree());
        return RunVpak(args);
    }

    std::string Tree() const { return dir_ / "tree"; }
    std::string Archive() const { return dir_ / "x.pak"; }
    TempDir dir_;
};

TEST_F(DiffCommand, AnUnchangedTreeExitsZeroAndPrintsNothing) {
    Pack();
    const CliResult result = Diff();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

struct ChangeCase {
    const char* name;
    std::function<void(const std::string& tree)> change;
    const char* expected;
};

class DiffedChange : public DiffCommand, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(DiffedChange, IsNamedOnItsLineAndExitsOne) {
    Pack();
    GetParam().change(Tree());
    const CliResult result = Diff();
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.out, GetParam().expected);
    EXPECT_EQ(result.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Changes, DiffedChange,
    ::testing::Values(
        ChangeCase{"Added", [](const std::string& t) { WriteFile(t + "/data/new.bin", "n"); }, "A data/new.bin\n"},
        ChangeCase{"Removed", [](const std::string& t) { fs::remove(t + "/data/sub/y.bin"); }, "D data/sub/y.bin\n"},
        ChangeCase{"ChangedSize", [](const std::string& t) { WriteFile(t + "/top.txt", "longer top"); },
                   "M top.txt\n"},
        ChangeCase{"ChangedBytesOfTheSameSize", [](const std::string& t) { WriteFile(t + "/data/x.bin", "x CONTENT"); },
                   "M data/x.bin\n"},
        ChangeCase{"ChangedLocText", [](const std::string& t) { WriteFile(t + "/text.loc", "hello\r\nWorld\r\n"); },
                   "M text.loc\n"},
        ChangeCase{"SeveralInPathOrder",
                   [](const std::string& t) {
                       WriteFile(t + "/top.txt", "pot");
                       WriteFile(t + "/a.bin", "a");
                       fs::remove(t + "/data/x.bin");
                   },
                   "A a.bin\nD data/x.bin\nM top.txt\n"}),
    [](const ::testing::TestParamInfo<ChangeCase>& info) { return std::string(info.param.name); });

TEST_F(DiffCommand, ALocTextDifferingOnlyInWhatConversionDropsIsTheSame) {
    Pack();
    // Conversion stops at a NUL: what follows it never reaches the table.
    WriteFile(Tree() + "/text.loc", std::string("hello\r\nworld\r\n\0left over", 25));
    const CliResult result = Diff();
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(result.out, "");
}

TEST_F(DiffCommand, NoLocComparesLocFilesAsTheyAreStored) {
    Pack({"--no-loc"});
    EXPECT_EQ(Diff({"--no-loc"}).status, 0);
    const CliResult converted = Diff();
    EXPECT_EQ(converted.status, 1);
    EXPECT_EQ(converted.out, "M text.loc\n") << "the folder's text becomes a table, the archive holds the text";
}

TEST_F(DiffCommand, PathsPairInAnyLetterCase) {
    Pack();
    fs::rename(Tree() + "/data", Tree() + "/DATA");
    EXPECT_EQ(Diff().status, 0);
}

TEST_F(DiffCommand, TheArchiveInsideTheFolderIsLeftOutAsMakeLeavesItOut) {
    fs::create_directories(Tree());
    ASSERT_EQ(RunVpak({"make", "-q", Tree() + "/inner.pak", Tree()}).status, 0);
    const CliResult result = RunVpak({"diff", Tree() + "/inner.pak", Tree()});
    EXPECT_EQ(result.status, 0) << result.out;
}

TEST_F(DiffCommand, JsonParsesBackToTheDifferences) {
    Pack();
    WriteFile(Tree() + "/data/new.bin", "n");
    WriteFile(Tree() + "/top.txt", "changed");
    fs::remove(Tree() + "/data/sub/y.bin");
    const CliResult result = Diff({"--json"});
    EXPECT_EQ(result.status, 1);
    const nlohmann::json document = nlohmann::json::parse(result.out);
    EXPECT_EQ(document["same"], false);
    EXPECT_EQ(document["added"], nlohmann::json::parse(R"([{"path": "data/new.bin"}])"));
    EXPECT_EQ(document["removed"], nlohmann::json::parse(R"([{"path": "data/sub/y.bin"}])"));
    EXPECT_EQ(document["changed"], nlohmann::json::parse(R"([{"path": "top.txt"}])"));
    EXPECT_EQ(document["archive_files"], 4);
    EXPECT_EQ(document["folder_files"], 4);
}

TEST_F(DiffCommand, JsonGivesEveryNameExactlyAsListJsonDoes) {
    Pack();
    // A control byte and its printed form are two names; a name that is not UTF-8 carries its bytes.
    WriteFile(Tree() + "/a\x01" "b.txt", "1");
    WriteFile(Tree() + "/a<01>b.txt", "2");
    WriteFile(Tree() + "/M\xE4rchen.txt", "3");
    const CliResult result = Diff({"--json"});
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.out.find(R"("path": "a\u0001b.txt")"), std::string::npos) << result.out;
    const nlohmann::json expected = {{{"path", "M\xEF\xBF\xBDrchen.txt"}, {"path_bytes", "4de4726368656e2e747874"}},
                                     {{"path", "a\x01" "b.txt"}},
                                     {{"path", "a<01>b.txt"}}};
    EXPECT_EQ(nlohmann::json::parse(result.out)["added"], expected);
}

TEST_F(DiffCommand, JsonOfTheSameTreeSaysSoWithEmptyLists) {
    Pack();
    const CliResult result = Diff({"--json"});
    EXPECT_EQ(result.status, 0);
    const nlohmann::json document = nlohmann::json::parse(result.out);
    EXPECT_EQ(document["same"], true);
    EXPECT_TRUE(document["changed"].empty());
}

TEST_F(DiffCommand, AMissingFolderIsNamedAndExitsThree) {
    Pack();
    const CliResult result = RunVpak({"diff", Archive(), dir_ / "missing"});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "vpak: cannot read the folder \"" + (dir_ / "missing") + "\": No such file or directory\n");
}

TEST_F(DiffCommand, AFolderThatIsAFileIsNamedAndExitsThree) {
    Pack();
    const CliResult result = RunVpak({"diff", Archive(), Archive()});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err, "vpak: cannot read the folder \"" + Archive() + "\": it is not a folder\n");
}

TEST_F(DiffCommand, AnArchiveThatDoesNotReadExitsThree) {
    WriteFile(Archive(), "not an archive at all");
    const CliResult result = Diff();
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find("cannot read the archive"), std::string::npos) << result.err;
}

TEST_F(DiffCommand, AStreamThatDoesNotInflateIsNamedAndExitsThree) {
    Pack();
    // The archive ends with the checksum of its last stream, top.txt's.
    TArrayOfByte bytes = ReadFileBytes(Archive());
    bytes.back() ^= 0xFF;
    WriteFile(Archive(), bytes);
    const CliResult result = Diff();
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find("Damaged stream of entry \"top.txt\""), std::string::npos) << result.err;
}

TEST_F(DiffCommand, WritesNothing) {
    Pack();
    WriteFile(Tree() + "/top.txt", "changed");
    const TArrayOfByte before = ReadFileBytes(Archive());
    const auto entriesBefore = std::distance(fs::recursive_directory_iterator(dir_.Path()), {});
    ASSERT_EQ(Diff().status, 1);
    EXPECT_EQ(ReadFileBytes(Archive()), before);
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir_.Path()), {}), entriesBefore);
}

// A file larger than what is compared whole in memory (4 MiB) is compared piece by piece:
// the verdict stays the one of every byte, to the last.
struct LargeFileCase {
    const char* name;
    const char* file;
    std::function<void(TArrayOfByte& content)> change;
    int status;
    const char* expected;
};

// About 6 MiB that compress, as a .loc text lines of strings.
TArrayOfByte LargeContent(bool locText) {
    TArrayOfByte content = RandomBytes(6 << 20, 7);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>('a' + content[i] % 16);
    if (locText)
        for (size_t i = 100; i + 2 < content.size(); i += 100) content[i] = '\r', content[i + 1] = '\n';
    return content;
}

void PrintTo(const LargeFileCase& c, std::ostream* out) { *out << c.name; }

class LargeFile : public DiffCommand, public ::testing::WithParamInterface<LargeFileCase> {};

TEST_P(LargeFile, IsComparedToItsLastByte) {
    const std::string path = Tree() + "/" + GetParam().file;
    TArrayOfByte content = LargeContent(IsLocFileName(path));
    WriteFile(path, content);
    Pack();
    GetParam().change(content);
    WriteFile(path, content);
    const CliResult result = Diff();
    EXPECT_EQ(result.status, GetParam().status) << result.err;
    EXPECT_EQ(result.out, GetParam().expected);
    EXPECT_EQ(result.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LargeFile,
    ::testing::Values(LargeFileCase{"Same", "big.bin", [](TArrayOfByte&) {}, 0, ""},
                      LargeFileCase{"LastByteDiffers", "big.bin", [](TArrayOfByte& c) { c.back() ^= 1; }, 1,
                                    "M big.bin\n"},
                      LargeFileCase{"LocTextSame", "big.loc", [](TArrayOfByte&) {}, 0, ""},
                      LargeFileCase{"LocTextLastCharacterDiffers", "big.loc",
                                    [](TArrayOfByte& c) { c.back() = c.back() == 'a' ? 'b' : 'a'; }, 1,
                                    "M big.loc\n"}),
    [](const ::testing::TestParamInfo<LargeFileCase>& info) { return std::string(info.param.name); });

// A file the user may not read cannot be stored, so it is no difference either: diff names
// it, and a dry run of sync says what the real sync then says. Run as another user, since
// root reads every file.
struct UnreadableCase {
    const char* name;
    bool archiveExists;
    const char* file;  // below the tree, made unreadable; a new file unless it is top.txt
};

void PrintTo(const UnreadableCase& c, std::ostream* out) { *out << c.name; }

class UnreadableFile : public DiffCommand, public ::testing::WithParamInterface<UnreadableCase> {
protected:
    void SetUp() override {
        DiffCommand::SetUp();
        if (!CanRunAsOtherUser()) GTEST_SKIP() << "permissions only bite for another user: run as root";
        if (GetParam().archiveExists) Pack();
        WriteFile(Unreadable(), "secret, and longer than before");
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir_.Path()))
            fs::permissions(entry.path(), fs::perms::all);
        fs::permissions(dir_.Path(), fs::perms::all);
        fs::permissions(Unreadable(), fs::perms::none);
    }

    std::string Unreadable() const { return Tree() + "/" + GetParam().file; }
    std::string Notice() const { return "vpak: cannot read \"" + Unreadable() + "\": Permission denied\n"; }
};

TEST_P(UnreadableFile, DiffNamesItAndExitsThree) {
    const CliResult result = RunVpakAsOtherUser({"diff", "-q", Archive(), Tree()});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, Notice());
}

// Without an archive, sync is make, and so is its dry run.
class UnreadableFileForSync : public UnreadableFile {};

TEST_P(UnreadableFileForSync, SyncDryRunSaysWhatTheRealSyncDoes) {
    const CliResult dryRun = RunVpakAsOtherUser({"sync", "--dry-run", "-q", Archive(), Tree()});
    const CliResult real = RunVpakAsOtherUser({"sync", "-q", Archive(), Tree()});
    EXPECT_EQ(real.status, 1);
    EXPECT_EQ(real.err, "Error :-(\n" + Notice());
    EXPECT_EQ(dryRun.status, real.status);
    EXPECT_EQ(dryRun.out, real.out);
    EXPECT_EQ(dryRun.err, real.err);
}

const UnreadableCase kUnreadableWithArchive[] = {{"Added", true, "secret.txt"}, {"ChangedInSize", true, "top.txt"}};
std::string CaseName(const ::testing::TestParamInfo<UnreadableCase>& info) { return info.param.name; }
INSTANTIATE_TEST_SUITE_P(Cases, UnreadableFile, ::testing::ValuesIn(kUnreadableWithArchive), CaseName);
INSTANTIATE_TEST_SUITE_P(Cases, UnreadableFileForSync,
                         ::testing::Values(kUnreadableWithArchive[0], kUnreadableWithArchive[1],
                                           UnreadableCase{"AddedWithoutArchive", false, "secret.txt"}),
                         CaseName);

TEST_F(DiffCommand, WithoutFolderItIsAUsageError) {
    EXPECT_EQ(RunVpak({"diff", Archive()}).status, 2);
}

}  // namespace
