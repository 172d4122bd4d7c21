#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/format/hash_tag.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

TestFolder SmallTree() {
    TestFolder root;
    root.folders.push_back({"scripts", {}, {{"intro.txt", Bytes("old intro")}, {"outro.txt", Bytes("old outro")}}});
    root.folders.push_back({"text", {}, {{"menu.loc", Bytes("old table")}}});
    root.files = {{"readme.txt", Bytes("old readme")}};
    return root;
}

std::string TaggedName(const std::string& stem, const std::string& archivePath, const std::string& ext) {
    return stem + ".[" + TagToText(PathHashTag(archivePath)) + "]" + ext;
}

// Keeps a lowered file-size limit for the processes started while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    sighandler_t previousHandler_ = SIG_DFL;
};

// One replace command: FILE is written with new content under fileName (below the test's
// folder), and given with the options before ARCHIVE.
struct ReplaceCase {
    const char* name;
    std::vector<std::string> options;
    std::string fileName;
    const char* entry;  // the entry it replaces; "" for none
    std::string error;  // standard error after "Error :-(\n", FILE standing for the file's path
};

class ReplaceOutcome : public ::testing::TestWithParam<ReplaceCase> {};

}  // namespace

TEST_P(ReplaceOutcome, ReplacesTheEntryTheFileFindsOrFailsNamingWhyAndLeavesTheArchive) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SmallTree();
    WriteTestArchive(pak, tree);
    const std::string file = dir / GetParam().fileName;
    WriteFile(file, "new content");
    std::vector<std::string> args{"replace"};
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    args.insert(args.end(), {pak, file});

    const CliResult r = RunVpak(args);
    if (*GetParam().entry == '\0') {
        std::string error = GetParam().error;
        error.replace(error.find("FILE"), 4, file);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "Error :-(\n" + error);
    } else {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "O.K. Successfully updated!\n");
        EXPECT_EQ(r.err, "");
        FindTestFile(tree, GetParam().entry)->content = Bytes("new content");
    }
    EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceOutcome,
    ::testing::Values(
        ReplaceCase{"ByTheTagInTheName", {}, "anywhere/" + TaggedName("intro", "scripts\\intro.txt", ".txt"),
                    "scripts\\intro.txt", ""},
        ReplaceCase{"ByPathInAnyCase", {"--path", "SCRIPTS/Outro.TXT"}, "new.txt", "scripts\\outro.txt", ""},
        ReplaceCase{"NameWithoutATag", {}, "readme.txt", "",
                    "vpak: cannot use \"FILE\": its name carries no hash tag (name.[24 hex digits].ext)\n"},
        ReplaceCase{"PathTheArchiveDoesNotHold", {"--path", "scripts\\nothing.txt"}, "new.txt", "",
                    "vpak: cannot use \"FILE\": the archive holds no file \"scripts/nothing.txt\"\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplaceCommand, LocTextIsConvertedUnlessNoLocIsGiven) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SmallTree());
    WriteFile(dir / "menu.loc", "Start\r\nQuit\r\n");

    ASSERT_EQ(RunVpak({"replace", "--no-loc", "--path", "text\\menu.loc", pak, dir / "menu.loc"}).status, 0);
    auto entries = ProbeEntries(pak);
    const int menu = 2;
    ASSERT_EQ(entries[menu].path, "text\\menu.loc");
    EXPECT_EQ(ProbeContent(ReadFileBytes(pak), entries[menu]), Bytes("Start\r\nQuit\r\n"));

    ASSERT_EQ(RunVpak({"replace", "--path", "text\\menu.loc", pak, dir / "menu.loc"}).status, 0);
    entries = ProbeEntries(pak);
    EXPECT_NE(ProbeContent(ReadFileBytes(pak), entries[menu]), Bytes("Start\r\nQuit\r\n"));
}

TEST(ReplaceCommand, XboxArchivesAreRefused) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SmallTree(), true);
    const TArrayOfByte before = ReadFileBytes(pak);
    WriteFile(dir / "new.txt", "x");
    const CliResult r = RunVpak({"replace", "--xbox", "--path", "readme.txt", pak, dir / "new.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error :-(\nvpak: cannot update \"" + pak + "\": Xbox 360 archives cannot be updated in place\n");
    EXPECT_EQ(ReadFileBytes(pak), before);
}

TEST(ReplaceCommand, MissingArgumentsAreAUsageError) {
    const CliResult r = RunVpak({"replace", "only-one.pak"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FILE"), std::string::npos);
    EXPECT_EQ(r.out, "");
}

TEST(ReplaceCommand, AWriteFailureIsARaisedErrorWithItsMessage) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SmallTree());
    std::mt19937 rng(5);
    std::string big(20000, '\0');
    for (char& c : big) c = static_cast<char>(rng());
    WriteFile(dir / "big.bin", big);

    CliResult r;
    {
        const FileSizeLimit limit(fs::file_size(pak) + 64);
        r = RunVpak({"replace", "--path", "readme.txt", pak, dir / "big.bin"});
    }
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("vpak: Cannot write the journal of \"" + pak + "\": File too large\n"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(ReplaceDirCommand, ReportsHowManyFilesWereUpdated) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SmallTree();
    WriteTestArchive(pak, tree);
    WriteFile(dir / "src/scripts/intro.txt", "new intro");
    WriteFile(dir / "src/readme.txt", "new readme");

    const CliResult r = RunVpak({"replace-dir", pak, dir / "src"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "O.K. Successfully updated 2 files!\n");
    EXPECT_EQ(r.err, "");
    FindTestFile(tree, "scripts\\intro.txt")->content = Bytes("new intro");
    FindTestFile(tree, "readme.txt")->content = Bytes("new readme");
    EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
}

TEST(ReplaceDirCommand, CountIsWrittenWithThousandsSeparators) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree;
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "f" + std::to_string(1000 + i);
        tree.files.push_back({name, Bytes("old")});
        WriteFile(dir / ("src/" + name), "new " + name);
    }
    WriteTestArchive(pak, tree);
    const CliResult r = RunVpak({"replace-dir", "-q", pak, dir / "src"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "O.K. Successfully updated 1,000 files!\n");
    for (TestFile& f : tree.files) f.content = Bytes("new " + f.name);
    EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
}

TEST(ReplaceDirCommand, EmptyDirectorySaysItFoundNothing) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SmallTree());
    fs::create_directories(dir / "src/sub");
    const CliResult r = RunVpak({"replace-dir", pak, dir / "src"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "I didn't find any file in the given directory.\n");
    EXPECT_EQ(r.err, "");
}

TEST(ReplaceDirCommand, FilesWithoutCounterpartAreNamedOneALineAfterTheOthersAreReplaced) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SmallTree();
    WriteTestArchive(pak, tree);
    WriteFile(dir / "src/readme.txt", "new readme");
    WriteFile(dir / "src/scripts/intro.txt", "new intro");
    WriteFile(dir / "src/stranger.txt", "no entry");
    WriteFile(dir / "src/text/other.loc", "no entry either");
    const CliResult r = RunVpak({"replace-dir", pak, dir / "src"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error :-(\n"
                     "vpak: cannot use \"" + dir / "src/text/other.loc" + "\": the archive holds no file \"text/other.loc\"\n"
                     "vpak: cannot use \"" + dir / "src/stranger.txt" + "\": the archive holds no file \"stranger.txt\"\n");
    FindTestFile(tree, "readme.txt")->content = Bytes("new readme");
    FindTestFile(tree, "scripts\\intro.txt")->content = Bytes("new intro");
    EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
}

TEST(ReplaceDirCommand, OfTwoFilesForOneEntryTheFirstInSortedOrderIsUsedWhicheverWasMadeFirst) {
    const std::string tag = TaggedName("x", "scripts\\intro.txt", ".txt");
    const struct {
        std::vector<std::string> options;
        std::string first, second;  // below src, as sorted
    } cases[] = {
        {{}, "SCRIPTS/intro.txt", "scripts/intro.txt"},
        {{"--hash"}, "sub/b." + tag.substr(2), "a" + tag.substr(1)},
    };
    for (const auto& c : cases) {
        for (const bool firstMadeFirst : {true, false}) {
            SCOPED_TRACE(c.first + (firstMadeFirst ? " made first" : " made second"));
            TempDir dir;
            const std::string pak = dir / "data.pak";
            TestFolder tree = SmallTree();
            WriteTestArchive(pak, tree);
            for (const std::string& name : firstMadeFirst ? std::vector{c.first, c.second} : std::vector{c.second, c.first})
                WriteFile(dir / ("src/" + name), "from " + name);
            std::vector<std::string> args{"replace-dir"};
            args.insert(args.end(), c.options.begin(), c.options.end());
            args.insert(args.end(), {pak, dir / "src"});

            const CliResult r = RunVpak(args);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "");
            const std::string sameness = c.options.empty() ? "stands for the same archive path" : "carries the same hash tag";
            EXPECT_EQ(r.err, "Error :-(\nvpak: cannot use \"" + dir / ("src/" + c.second) + "\": \"" +
                                 dir / ("src/" + c.first) + "\" " + sameness + " and is used instead\n");
            FindTestFile(tree, "scripts\\intro.txt")->content = Bytes("from " + c.first);
            EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
        }
    }
}

TEST(ReplaceDirCommand, HashMatchesByTagsAndEmptyDirMeansTheWorkingDirectory) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SmallTree();
    WriteTestArchive(pak, tree);
    WriteFile(dir / ("work/" + TaggedName("x", "scripts\\outro.txt", ".txt")), "tagged outro");

    const CliResult r = RunVpak({"replace-dir", "--hash", pak, ""}, dir / "work");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "O.K. Successfully updated 1 files!\n");
    FindTestFile(tree, "scripts\\outro.txt")->content = Bytes("tagged outro");
    EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
}

TEST(ReplaceDirCommand, AMissingArchiveOrDirectoryOrAnXboxArchiveFailsSayingWhy) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SmallTree(), true);
    const TArrayOfByte before = ReadFileBytes(pak);
    WriteFile(dir / "src/readme.txt", "x");
    const struct {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {{"replace-dir", dir / "none.pak", dir / "src"},
         "cannot open the archive \"" + dir / "none.pak" + "\": No such file or directory"},
        {{"replace-dir", "--xbox", pak, dir / "src"},
         "cannot update \"" + pak + "\": Xbox 360 archives cannot be updated in place"},
        {{"replace-dir", pak, dir / "src"},
         "cannot read the archive \"" + pak + "\": it reads as an Xbox 360 archive, which cannot be updated in place"},
        {{"replace-dir", pak, dir / "none"}, "cannot read the folder \"" + dir / "none" + "\": No such file or directory"},
    };
    for (const auto& c : cases) {
        const CliResult r = RunVpak(c.args);
        EXPECT_EQ(r.status, 1) << c.reason;
        EXPECT_EQ(r.err, "Error :-(\nvpak: " + c.reason + "\n");
    }
    EXPECT_EQ(ReadFileBytes(pak), before);
}

TEST(ReplaceDirCommand, AMissingDirectoryArgumentIsAUsageError) {
    TempDir dir;
    EXPECT_EQ(RunVpak({"replace-dir", dir / "data.pak"}).status, 2);
}
