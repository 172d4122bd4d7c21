#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// A folder and the archive `vpak make` packs from it; each test edits the archive.
class EditCommands : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(Tree() + "/data/x.bin", "x content");
        WriteFile(Tree() + "/data/sub/y.bin", "y");
        WriteFile(Tree() + "/top.txt", "top");
        ASSERT_EQ(RunVpak({"make", "-q", Archive(), Tree()}).status, 0);
        WriteFile(dir_ / "in/TOP.TXT", "new top");
        WriteFile(dir_ / "in/more/z.bin", "z");
    }

    std::string Tree() const { return dir_ / "tree"; }
    std::string Archive() const { return dir_ / "x.pak"; }
    std::string In(const std::string& name) const { return dir_ / ("in/" + name); }
    TempDir dir_;
};

struct EditCase {
    const char* name;
    std::vector<std::string> args;  // "A" stands for the archive, "IN/" for the input folder
    const char* out;
    const char* listing;  // the paths the archive lists afterwards
};

class EditOutcome : public EditCommands, public ::testing::WithParamInterface<EditCase> {
protected:
    std::vector<std::string> Args() const {
        std::vector<std::string> args;
        for (std::string arg : GetParam().args) {
            if (arg == "A") arg = Archive();
            else if (arg.rfind("IN/", 0) == 0) arg = In(arg.substr(3));
            args.push_back(arg);
        }
        return args;
    }

    // The archive's paths in directory order, each followed by a space.
    std::string Listing() const {
        const CliResult list = RunVpak({"list", Archive()});
        std::string paths;
        size_t start = 0;
        for (size_t end = list.out.find('\n'); end != std::string::npos; end = list.out.find('\n', start)) {
            paths += list.out.substr(start + kListingPrefix, end - start - kListingPrefix) + " ";
            start = end + 1;
        }
        return paths;
    }

    static constexpr size_t kListingPrefix = 45;  // five 8-digit fields, each with its "*"
};

TEST_P(EditOutcome, PrintsItsCountsAndLeavesTheArchiveHoldingTheEditedTree) {
    const CliResult result = RunVpak(Args());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, GetParam().out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(Listing(), GetParam().listing);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, EditOutcome,
    ::testing::Values(
        EditCase{"AddFileReplacingInAnyCase", {"add", "-q", "A", "IN/TOP.TXT"},
                 "O.K. Added 0 files and replaced 1 file!\n", "data\\sub\\y.bin data\\x.bin top.txt "},
        EditCase{"AddFolderUnderItsName", {"add", "-q", "--to", "Data/new", "A", "IN/more"},
                 "O.K. Added 1 file and replaced 0 files!\n",
                 "data\\new\\more\\z.bin data\\sub\\y.bin data\\x.bin top.txt "},
        EditCase{"AddWhatAFolderHolds", {"add", "-q", "A", "IN/"},
                 "O.K. Added 1 file and replaced 1 file!\n",
                 "data\\sub\\y.bin data\\x.bin more\\z.bin top.txt "},
        EditCase{"RemoveAFolder", {"remove", "-q", "A", "DATA\\SUB"}, "O.K. Removed 1 file and 1 dir!\n",
                 "data\\x.bin top.txt "},
        EditCase{"RemoveTwoFiles", {"remove", "-q", "A", "top.txt", "data/sub/y.bin"},
                 "O.K. Removed 2 files and 1 dir!\n", "data\\x.bin "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EditCommands, AnEntryThatNamesNothingIsNamedAndNothingIsWritten) {
    const TArrayOfByte before = ReadFileBytes(Archive());
    const CliResult result = RunVpak({"remove", "-q", Archive(), "top.txt", "data/nothing.bin"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("Error :-("), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("data/nothing.bin"), std::string::npos) << result.err;
    EXPECT_EQ(ReadFileBytes(Archive()), before);
}

TEST_F(EditCommands, APathThatLeavesTheArchiveIsAUsageError) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"remove", Archive(), "../top.txt"}, {"remove", Archive(), "/top.txt"},
             {"add", "--to", "data/..", Archive(), In("TOP.TXT")}}) {
        const CliResult result = RunVpak(args);
        EXPECT_EQ(result.status, 2) << args[0];
        EXPECT_NE(result.err.find("Usage"), std::string::npos) << result.err;
    }
}

TEST_F(EditCommands, AnEditKeepsTheArchivesPermissions) {
    ASSERT_EQ(::chmod(Archive().c_str(), 0640), 0);
    ASSERT_EQ(RunVpak({"add", "-q", Archive(), In("more")}).status, 0);
    struct stat st {};
    ASSERT_EQ(::stat(Archive().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(EditCommands, SyncDryRunPrintsWhatWouldChangeAndWritesNothing) {
    WriteFile(Tree() + "/top.txt", "changed");
    fs::remove(Tree() + "/data/sub/y.bin");
    WriteFile(Tree() + "/new.txt", "n");
    const TArrayOfByte before = ReadFileBytes(Archive());
    const CliResult result = RunVpak({"sync", "--dry-run", "-q", Archive(), Tree()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "D data/sub/y.bin\nA new.txt\nM top.txt\n"
              "Would synchronize: 1 added, 1 changed, 1 removed, 1 unchanged file.\n");
    EXPECT_EQ(ReadFileBytes(Archive()), before);
}

TEST_F(EditCommands, SyncGivesTheArchiveMakeBuildsAndWithoutOneIsMake) {
    WriteFile(Tree() + "/top.txt", "changed");
    WriteFile(Tree() + "/data/new.txt", "n");
    const CliResult sync = RunVpak({"sync", "-q", Archive(), Tree()});
    EXPECT_EQ(sync.status, 0) << sync.err;
    EXPECT_EQ(sync.out, "O.K. Synchronized: 1 added, 1 changed, 0 removed, 2 unchanged files!\n");
    const std::string made = dir_ / "made.pak";
    ASSERT_EQ(RunVpak({"make", "-q", made, Tree()}).status, 0);
    EXPECT_EQ(ReadFileBytes(Archive()), ReadFileBytes(made));

    const std::string fresh = dir_ / "fresh.pak";
    const CliResult create = RunVpak({"sync", "-q", fresh, Tree()});
    EXPECT_EQ(create.status, 0) << create.err;
    EXPECT_EQ(create.out, "O.K. Synchronized: 4 added, 0 changed, 0 removed, 0 unchanged files!\n");
    EXPECT_EQ(ReadFileBytes(fresh), ReadFileBytes(made));
}

}  // namespace

namespace {

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

}  // namespace

// Each step of an edit that opens the archive comes upon a journal beside it that is no
// regular file: the user hears of it once.
TEST_F(EditCommands, AJournalLeftAloneIsToldOnce) {
    const std::string journal = Archive() + ".vpak-journal";
    fs::create_directory(journal);
    const std::string told = "vpak: left the journal \"" + journal + "\": it is not a regular file\n";
    const std::vector<std::vector<std::string>> edits = {
        {"add", "-q", Archive(), In("more")}, {"remove", "-q", Archive(), "more"}, {"sync", "-q", Archive(), Tree()}};
    for (const std::vector<std::string>& edit : edits) {
        const CliResult result = RunVpak(edit);
        EXPECT_EQ(result.status, 0) << edit[0] << ": " << result.err;
        EXPECT_EQ(Occurrences(result.err, told), 1u) << edit[0] << ": " << result.err;
        EXPECT_EQ(result.err, told) << edit[0];
    }
}
