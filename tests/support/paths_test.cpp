#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    EXPECT_FALSE(DirHasEntries(dir.Path() + "\\"));
}

TEST(DirHasEntriesRoutine, AHiddenFileCounts) {
    TempDir dir;
    WriteFile(dir / ".hidden", "x");
    EXPECT_TRUE(DirHasEntries(dir.Path()));
    EXPECT_TRUE(DirHasEntries(dir.Path() + "\\"));
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
    EXPECT_TRUE(CreateDirChain(dir.Path(), "x\\y"));
    EXPECT_TRUE(IsDir(dir / "x"));
    EXPECT_TRUE(IsDir(dir / "x/y"));
    EXPECT_TRUE(CreateDirChain(dir.Path() + "\\", "x\\y\\z\\"));  // existing parts are fine
    EXPECT_TRUE(IsDir(dir / "x/y/z"));
}

TEST(CreateDirChainRoutine, StopsAtTheFirstFailureAndKeepsWhatItMade) {
    TempDir dir;
    WriteFile(dir / "f", "a file where a directory should go");
    EXPECT_FALSE(CreateDirChain(dir.Path(), "f\\y"));
    EXPECT_FALSE(fs::exists(dir / "f/y"));

    const std::string tooLong(300, 'n');  // longer than any file name may be
    EXPECT_FALSE(CreateDirChain(dir.Path(), "made\\" + tooLong + "\\after"));
    EXPECT_TRUE(IsDir(dir / "made"));
    EXPECT_FALSE(fs::exists(dir / "made/after"));
}

TEST(CreateDirChainRoutine, AnEmptyComponentEndsTheChainWithSuccess) {
    TempDir dir;
    EXPECT_TRUE(CreateDirChain(dir.Path(), "x\\\\y"));
    EXPECT_TRUE(IsDir(dir / "x"));
    EXPECT_FALSE(fs::exists(dir / "y"));
    EXPECT_FALSE(fs::exists(dir / "x/y"));
}

TEST(CreateFullDirPathRoutine, CreatesAnAbsolutePathFromTheRoot) {
    TempDir dir;
    EXPECT_TRUE(CreateFullDirPath(dir.Path() + "\\a\\b\\c"));
    EXPECT_TRUE(IsDir(dir / "a/b/c"));
    EXPECT_TRUE(CreateFullDirPath(dir.Path() + "/p/q/"));
    EXPECT_TRUE(IsDir(dir / "p/q"));
}

TEST(CreateFullDirPathRoutine, CreatesARelativePathFromTheCurrentDirectory) {
    TempDir dir;
    InsideDirectory inside(dir.Path());
    EXPECT_TRUE(CreateFullDirPath("r1\\r2"));
    EXPECT_TRUE(IsDir(dir / "r1/r2"));
}

TEST(CreateFullDirPathRoutine, FailsForAnEmptyPathAndWhenAComponentIsAFile) {
    TempDir dir;
    WriteFile(dir / "f", "x");
    EXPECT_FALSE(CreateFullDirPath(""));
    EXPECT_FALSE(CreateFullDirPath(dir.Path() + "\\f\\sub"));
}

TEST(CreateDirsForFileRoutine, CreatesTheFoldersButNotTheFileName) {
    TempDir dir;
    CreateDirsForFile(dir.Path(), "a\\b\\file.txt");
    EXPECT_TRUE(IsDir(dir / "a/b"));
    EXPECT_FALSE(fs::exists(dir / "a/b/file.txt"));
}

TEST(CreateDirsForFileRoutine, AnEntryEndingInABackslashIsCreatedWhole) {
    TempDir dir;
    CreateDirsForFile(dir.Path() + "\\", "x\\y\\");
    EXPECT_TRUE(IsDir(dir / "x/y"));
}

TEST(CreateDirsForFileRoutine, AnEmptyBaseMeansTheCurrentDirectory) {
    TempDir dir;
    InsideDirectory inside(dir.Path());
    CreateDirsForFile("", "c1\\c2\\f");
    EXPECT_TRUE(IsDir(dir / "c1/c2"));
}

TEST(CreateDirsForFileRoutine, LongComponentsAreHandled) {
    TempDir dir;
    const std::string longName(200, 'L');
    CreateDirsForFile(dir.Path(), longName + "\\" + longName + "\\f");
    EXPECT_TRUE(IsDir(dir / (longName + "/" + longName)));
}

TEST(CreateDirsForFileRoutine, AComponentThatIsAFileRaisesWithTheOsCode) {
    TempDir dir;
    WriteFile(dir / "f", "x");
    try {
        CreateDirsForFile(dir.Path(), "f\\sub\\x.txt");
        FAIL() << "no error raised";
    } catch (const EInOutError& error) {
        EXPECT_NE(error.Code(), 0);
        EXPECT_NE(std::string(error.what()).find("f"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(dir / "f/sub"));
}

TEST(CreateDirListRoutine, CreatesEveryEntryInOrderAndStopsAtAFailure) {
    TempDir dir;
    WriteFile(dir / "f", "x");
    CreateDirList(dir.Path(), {});
    EXPECT_EQ(CountTree(dir.Path(), true).dirCount, 0);
    CreateDirList(dir.Path(), {"a\\", "a\\b\\", "c\\"});
    EXPECT_TRUE(IsDir(dir / "a/b"));
    EXPECT_TRUE(IsDir(dir / "c"));
    EXPECT_THROW(CreateDirList(dir.Path(), {"d\\", "f\\x\\", "later\\"}), EInOutError);
    EXPECT_TRUE(IsDir(dir / "d"));
    EXPECT_FALSE(fs::exists(dir / "later"));
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

// ---- counting a tree ---------------------------------------------------------------------

TEST(CountTreeRoutine, AMissingDirectoryIsNotCounted) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    for (const std::string& path : {dir / "missing", dir / "file"}) {
        const TTreeCount count = CountTree(path, true);
        EXPECT_FALSE(count.ok) << path;
        EXPECT_EQ(count.dirCount, 0);
        EXPECT_EQ(count.fileCount, 0);
    }
}

TEST(CountTreeRoutine, CountsFilesAndFoldersWithOrWithoutRecursion) {
    TempDir dir;
    WriteFile(dir / "f1", "1");
    WriteFile(dir / ".f2", "2");
    WriteFile(dir / "sub/f3", "3");
    WriteFile(dir / "sub/deeper/f4", "4");
    fs::create_directory(dir / "empty");

    const TTreeCount flat = CountTree(dir.Path(), false);
    EXPECT_TRUE(flat.ok);
    EXPECT_EQ(flat.dirCount, 2);
    EXPECT_EQ(flat.fileCount, 2);

    const TTreeCount deep = CountTree(dir.Path() + "\\", true);
    EXPECT_TRUE(deep.ok);
    EXPECT_EQ(deep.dirCount, 3);
    EXPECT_EQ(deep.fileCount, 4);
}

TEST(CountTreeRoutine, ALinkBackToAnAncestorIsCountedButNotEntered) {
    TempDir dir;
    WriteFile(dir / "sub/f", "x");
    fs::create_directory_symlink(dir.Path(), dir / "sub/loop");
    const TTreeCount count = CountTree(dir.Path(), true);
    EXPECT_TRUE(count.ok);
    EXPECT_EQ(count.dirCount, 2);  // sub and the link
    EXPECT_EQ(count.fileCount, 1);
}

TEST(CountTreeRoutine, ALinkToAFolderOffThePathIsEntered) {
    TempDir dir;
    WriteFile(dir / "a/f", "x");
    fs::create_directory(dir / "b");
    fs::create_directory_symlink(dir / "a", dir / "b/link");
    const TTreeCount count = CountTree(dir.Path(), true);
    EXPECT_EQ(count.dirCount, 3);   // a, b, b/link
    EXPECT_EQ(count.fileCount, 2);  // a/f, and again through the link
}

TEST(CountTreeRoutine, AFifoCountsAsAFile) {
    TempDir dir;
    Fifo fifo(dir / "pipe");
    const TTreeCount count = CountTree(dir.Path(), true);
    EXPECT_TRUE(count.ok);
    EXPECT_EQ(count.dirCount, 0);
    EXPECT_EQ(count.fileCount, 1);
}

// ---- whole files ------------------------------------------------------------------------

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

TEST(ReadWholeFileRoutine, ReadsAnArchiveFormPath) {
    TempDir dir;
    WriteFile(dir / "sub/f", "content");
    TArrayOfByte buffer;
    EXPECT_TRUE(ReadWholeFile(dir.Path() + "\\sub\\f", buffer));
    EXPECT_EQ(buffer, Bytes("content"));
}
