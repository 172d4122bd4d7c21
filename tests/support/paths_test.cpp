#include <gtest/gtest.h>

#include <filesystem>

#include "helpers/temp_dir.h"
#include "support/errors.h"
#include "support/number_text.h"
#include "support/paths.h"

namespace fs = std::filesystem;

namespace {

// Runs a test from inside a directory and returns to the previous one afterwards.
class InsideDirectory {
public:
    explicit InsideDirectory(const std::string& dir) : saved_(fs::current_path()) { fs::current_path(dir); }
    ~InsideDirectory() { fs::current_path(saved_); }

private:
    fs::path saved_;
};

bool IsDir(const std::string& path) { return fs::is_directory(path); }

}  // namespace

// ---- splitting and normalising --------------------------------------------------------

TEST(SplitAtLastBackslashRoutine, SplitsAroundTheLastBackslash) {
    std::string head = "stale", tail = "stale";
    SplitAtLastBackslash("a\\b\\c", head, tail);
    EXPECT_EQ(head, "a\\b");
    EXPECT_EQ(tail, "c");
    SplitAtLastBackslash("abc", head, tail);
    EXPECT_EQ(head, "");
    EXPECT_EQ(tail, "abc");
    SplitAtLastBackslash("dir\\", head, tail);
    EXPECT_EQ(head, "dir");
    EXPECT_EQ(tail, "");
    SplitAtLastBackslash("\\x", head, tail);
    EXPECT_EQ(head, "");
    EXPECT_EQ(tail, "x");
}

TEST(TrailingBackslash, WithTrailingBackslashAddsExactlyOne) {
    std::string path;
    WithTrailingBackslash(path);
    EXPECT_EQ(path, ".\\");
    path = "C:";
    WithTrailingBackslash(path);
    EXPECT_EQ(path, "C:\\");
    path = "a\\b\\";
    WithTrailingBackslash(path);
    EXPECT_EQ(path, "a\\b\\");
    path = "/home/u/out";
    WithTrailingBackslash(path);
    EXPECT_EQ(path, "/home/u/out\\");
}

TEST(TrailingBackslash, StripTrailingBackslashesRemovesAllOfThem) {
    std::string path = "a\\\\\\";
    StripTrailingBackslashes(path);
    EXPECT_EQ(path, "a");
    path = "C:\\";
    StripTrailingBackslashes(path);
    EXPECT_EQ(path, "C:");
    path = "\\\\\\";
    StripTrailingBackslashes(path);
    EXPECT_EQ(path, "");
    path = "a\\b";
    StripTrailingBackslashes(path);
    EXPECT_EQ(path, "a\\b");
}

namespace {
void ExpectSplit(const std::string& path, const std::string& dir, const std::string& stem, const std::string& ext) {
    const TSplitPath parts = SplitPath(path);
    EXPECT_EQ(parts.dir, dir) << path;
    EXPECT_EQ(parts.stem, stem) << path;
    EXPECT_EQ(parts.ext, ext) << path;
}
}  // namespace

TEST(SplitPathRoutine, SplitsDirectoryStemAndExtension) {
    ExpectSplit("data\\menu.en.loc", "data", "menu.en", ".loc");
    ExpectSplit("a\\b", "a", "b", ".");
    ExpectSplit("x.", "", "x", ".");
}

TEST(SplitPathRoutine, ForwardSlashesCountAsSeparators) {
    ExpectSplit("a/b/readme", "a\\b", "readme", ".");
    ExpectSplit("a/b\\c.TXT", "a\\b", "c", ".TXT");
}

TEST(SplitPathRoutine, ANameStartingWithItsOnlyDotIsAllExtension) {
    ExpectSplit(".loc", "", "", ".loc");
    ExpectSplit("d\\.hidden", "d", "", ".hidden");
}

TEST(SplitPathRoutine, APathEndingInABackslashHasAnEmptyStem) {
    ExpectSplit("a\\b\\", "a\\b", "", ".");
    ExpectSplit("", "", "", ".");
}

TEST(CutLineRoutine, CutsFromBothEndsAndNeverPastTheLine) {
    EXPECT_EQ(CutLine("123abc45", 3, 2), "abc");
    EXPECT_EQ(CutLine("abc", 0, 0), "abc");
    EXPECT_EQ(CutLine("abc", 5, 0), "");
    EXPECT_EQ(CutLine("abc", 0, 9), "");
}

// ---- directory contents -----------------------------------------------------------------

TEST(DirHasEntriesRoutine, AnEmptyDirectoryHasNone) {
    TempDir dir;
    EXPECT_FALSE(DirHasEntries(dir.Path()));
    EXPECT_FALSE(DirHasEntries(dir.Path() + "/"));
}

TEST(DirHasEntriesRoutine, AHiddenFileCounts) {
    TempDir dir;
    WriteFile(dir / ".hidden", "x");
    EXPECT_TRUE(DirHasEntries(dir.Path()));
    EXPECT_TRUE(DirHasEntries(dir.Path() + "/"));
}

TEST(DirHasEntriesRoutine, AnEmptySubdirectoryCounts) {
    TempDir dir;
    fs::create_directory(dir / "sub");
    EXPECT_TRUE(DirHasEntries(dir.Path()));
}

TEST(DirHasEntriesRoutine, AMissingDirectoryOrAFileHasNone) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(DirHasEntries(dir / "missing"));
    EXPECT_FALSE(DirHasEntries(dir / "file"));
    EXPECT_FALSE(DirHasEntries(""));
}

// ---- creating directories ---------------------------------------------------------------

TEST(CreateDirChainRoutine, CreatesEveryComponentBelowTheBase) {
    TempDir dir;
    EXPECT_TRUE(CreateDirChain(dir.Path(), "x/y"));
    EXPECT_TRUE(IsDir(dir / "x/y"));
    EXPECT_TRUE(CreateDirChain(dir.Path() + "/", "x//y/z/"));  // existing parts and doubled slashes are fine
    EXPECT_TRUE(IsDir(dir / "x/y/z"));
}

TEST(CreateDirChainRoutine, StopsAtTheFirstFailureAndKeepsWhatItMade) {
    TempDir dir;
    WriteFile(dir / "f", "a file where a directory should go");
    EXPECT_FALSE(CreateDirChain(dir.Path(), "f/y"));
    EXPECT_FALSE(fs::exists(dir / "f/y"));

    const std::string tooLong(300, 'n');  // longer than any file name may be
    EXPECT_FALSE(CreateDirChain(dir.Path(), "made/" + tooLong + "/after"));
    EXPECT_TRUE(IsDir(dir / "made"));
    EXPECT_FALSE(fs::exists(dir / "made/after"));
}

TEST(CreateFullDirPathRoutine, CreatesAnAbsolutePathFromTheRoot) {
    TempDir dir;
    EXPECT_TRUE(CreateFullDirPath(dir.Path() + "/a/b/c"));
    EXPECT_TRUE(IsDir(dir / "a/b/c"));
    EXPECT_TRUE(CreateFullDirPath(dir.Path() + "/p/q/"));
    EXPECT_TRUE(IsDir(dir / "p/q"));
}

TEST(CreateFullDirPathRoutine, CreatesARelativePathFromTheCurrentDirectory) {
    TempDir dir;
    InsideDirectory inside(dir.Path());
    EXPECT_TRUE(CreateFullDirPath("r1/r2"));
    EXPECT_TRUE(IsDir(dir / "r1/r2"));
}

TEST(CreateFullDirPathRoutine, ABackslashIsPartOfAFolderName) {
    TempDir dir;
    EXPECT_TRUE(CreateFullDirPath(dir.Path() + "/we\\ird"));
    EXPECT_TRUE(IsDir(dir / "we\\ird"));
    EXPECT_FALSE(fs::exists(dir / "we"));
}

TEST(CreateFullDirPathRoutine, FailsForAnEmptyPathAndWhenAComponentIsAFile) {
    TempDir dir;
    WriteFile(dir / "f", "x");
    EXPECT_FALSE(CreateFullDirPath(""));
    EXPECT_FALSE(CreateFullDirPath(dir.Path() + "/f/sub"));
}

TEST(CreateFullDirPathRoutine, SaysWhichFolderItCouldNotCreateAndWhy) {
    TempDir dir;
    WriteFile(dir / "f", "x");
    const std::string tooLong(300, 'n');
    const struct {
        std::string path, problem;
    } cases[] = {
        {dir / "made/there", ""},
        {dir / "f/sub", "cannot create the folder \"" + dir / "f" + "\": something other than a folder has that name"},
        {dir / ("g/" + tooLong + "/h"), "cannot create the folder \"" + dir / ("g/" + tooLong) + "\": File name too long"},
        {"", "no folder was named"},
    };
    for (const auto& c : cases) EXPECT_EQ(CreateFullDirPathOrSayWhy(c.path), c.problem) << c.path;
}

TEST(HostPathBelowRoutine, TurnsOnlyTheArchiveSeparatorsOfTheRelativePart) {
    EXPECT_EQ(HostPathBelow("/tmp/we\\ird", "a\\b.txt"), "/tmp/we\\ird/a/b.txt");
    EXPECT_EQ(HostPathBelow("src/", "x"), "src/x");
    EXPECT_EQ(HostPathBelow("", "x\\"), "./x/");
    EXPECT_EQ(HostPathOfEntry("src", "a\\", "b\\c"), "src/a/b\\c");
    EXPECT_EQ(HostPathOfEntry("src", "a\\", ""), "src/a");
    EXPECT_EQ(HostPathOfEntry("src", "", ""), "src");
}

// ---- folder prefixes of a listing -----------------------------------------------------

TEST(CollectDirPrefixesRoutine, FoldersDifferingOnlyInCaseAreOneAndTheFirstSpellingWins) {
    TStringList dirs = {"stale\\"};
    const int32_t count = CollectDirPrefixes({"A\\x", "a\\y", "b"}, dirs, 0, 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(dirs, (TStringList{"A\\"}));
}

TEST(CollectDirPrefixesRoutine, EveryLevelOfANestedPathIsAPrefix) {
    TStringList dirs;
    EXPECT_EQ(CollectDirPrefixes({"a\\b\\c\\x.loc"}, dirs, 0, 0), 3);
    EXPECT_EQ(dirs, (TStringList{"a\\", "a\\b\\", "a\\b\\c\\"}));
}

TEST(CollectDirPrefixesRoutine, SortedIgnoringCaseWithParentsBeforeChildren) {
    TStringList dirs;
    const int32_t count = CollectDirPrefixes({"b\\z\\f", "Zeta\\g", "alpha\\f", "B\\g", "b\\f", "b\\a b\\f"}, dirs, 0, 0);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(dirs, (TStringList{"alpha\\", "b\\", "b\\a b\\", "b\\z\\", "Zeta\\"}));
}

TEST(CollectDirPrefixesRoutine, FoldersDifferingInASingleByteCodePageLetterStayApart) {
    TStringList dirs;
    EXPECT_EQ(CollectDirPrefixes({"Men\xFC\\a", "Men\xE4\\b", "MEN\xC4\\c"}, dirs, 0, 0), 2);
    EXPECT_EQ(dirs, (TStringList{"Men\xE4\\", "Men\xFC\\"}));
}

TEST(CollectDirPrefixesRoutine, CutsListingLinesAndTurnsSlashesIntoBackslashes) {
    TStringList dirs;
    const std::string prefix(45, '0');
    EXPECT_EQ(CollectDirPrefixes({prefix + "data/sub/file.txt", prefix + "root.txt"}, dirs, 45, 0), 2);
    EXPECT_EQ(dirs, (TStringList{"data\\", "data\\sub\\"}));
    EXPECT_EQ(CollectDirPrefixes({"xx" + std::string("d\\f") + "yyy"}, dirs, 2, 3), 1);
    EXPECT_EQ(dirs, (TStringList{"d\\"}));
}

TEST(CollectDirPrefixesRoutine, NoFoldersGiveAnEmptyList) {
    TStringList dirs = {"stale\\"};
    EXPECT_EQ(CollectDirPrefixes({"a", "b.txt"}, dirs, 0, 0), 0);
    EXPECT_TRUE(dirs.empty());
    EXPECT_EQ(CollectDirPrefixes({}, dirs, 0, 0), 0);
}
