#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <utility>

#include "engine/building/archive_builder.h"
#include "engine/reading/archive_reader.h"
#include "engine/format/internal/archive_format.h"
#include "engine/reading/internal/archive_reader.h"
#include "engine/format/internal/directory_walk.h"
#include "engine/format/internal/loc_convert.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/progress_record.h"
#include "helpers/temp_dir.h"
#include "support/errors.h"
#include "support/fast_inflate.h"
#include "support/host_file.h"
#include "support/paths.h"
#include "support/zlib_adapter.h"

namespace {

struct TBuildOutcome {
    bool ok = false;
    int32_t folders = -1;
    int32_t files = -1;
};

TBuildOutcome Build(const std::string& dir, const std::string& archive, bool bigEndian = false,
                    bool convertLoc = true, const ProgressProc& progress = {}) {
    const TMakeResult made = MakeArchive({bigEndian, dir, archive, convertLoc, progress});
    return {made.ok, made.folderCount, made.fileCount};
}

TArrayOfByte ExpectedArchive(const TestFolder& root, bool bigEndian = false) {
    const TestArchive encoded = EncodeTree(root, bigEndian);
    return ArchiveBytes(encoded.directory, encoded.data, bigEndian);
}

TestFile File(const std::string& name, const std::string& content) { return TestFile{name, Bytes(content)}; }

TestFolder Folder(const std::string& name, std::vector<TestFolder> folders, std::vector<TestFile> files) {
    return TestFolder{name, std::move(folders), std::move(files)};
}

void MakeDir(const std::string& path) { std::filesystem::create_directories(path); }

// The listing of an archive; fails the test when the archive does not read back.
TStringList ListArchive(const std::string& archive, bool bigEndian = false) {
    TStringList listing;
    EXPECT_TRUE(ExtractArchive({.bigEndian = bigEndian, .archivePath = archive, .listing = &listing}).ok);
    return listing;
}

std::vector<std::string> ListedPaths(const TStringList& listing) {
    std::vector<std::string> paths;
    for (const std::string& line : listing) paths.push_back(CutLine(line, kPrefixLength, kSuffixLength));
    return paths;
}

// The content that the stream of a listed file decompresses to, as extraction inflates it:
// to the size its record gives.
TArrayOfByte StoredContent(const TArrayOfByte& archive, const std::string& line) {
    const int32_t absOffset = ListingField(line, kAbsOffsetColumn);
    const int32_t packedSize = ListingField(line, kPackedSizeColumn);
    EXPECT_LE(static_cast<size_t>(absOffset) + static_cast<size_t>(packedSize), archive.size());
    TArrayOfByte content;
    EXPECT_EQ(InflateExactSize(archive.data() + absOffset, packedSize, ListingField(line, kUnpackedSizeColumn), content),
              TInflateOutcome::Exact)
        << line;
    return content;
}

// A .loc table with the layout the text conversion writes, built here from its parts.
TArrayOfByte LocTableOf(const std::vector<std::string>& lines, bool bigEndian = false) {
    TArrayOfByte table;
    std::string chars("ZORVEL\0", 7);
    PutInt(table, bigEndian, static_cast<int32_t>(lines.size()));
    for (const std::string& line : lines) {
        PutInt(table, bigEndian, static_cast<int32_t>(chars.size()));
        chars += line;
        chars += '\0';
    }
    table.insert(table.end(), chars.begin(), chars.end());
    return table;
}

ProgressProc Recorder(TReports& reports) { return RecordReports(reports); }

}  // namespace

TEST(MakeArchive, EmptyDirectoryGivesAnEightByteDirectoryAndNoData) {
    TempDir dir;
    MakeDir(dir / "src");
    const TBuildOutcome built = Build(dir / "src", dir / "out.pak");
    EXPECT_TRUE(built.ok);
    EXPECT_EQ(built.folders, 0);
    EXPECT_EQ(built.files, 0);

    const TArrayOfByte archive = ReadFileBytes(dir / "out.pak");
    EXPECT_EQ(archive, ArchiveBytes(TArrayOfByte(8, 0), {}, false));
    HostFile file(dir / "out.pak", HostFile::Mode::Read);
    Veldane_PAK_HeaderType header;
    TArrayOfByte directory;
    ASSERT_TRUE(ReadArchiveHeader(false, file, header, directory));
    EXPECT_EQ(header.UnpackedDirSize, 8);
    EXPECT_EQ(static_cast<size_t>(header.HeaderSize), archive.size());
    EXPECT_EQ(header.PackedDir[0], 0x78);
    EXPECT_EQ(header.PackedDir[1], 0xDA);
}

TEST(MakeArchive, EmptyFileIsStoredAsTheEightByteStreamOfEmptyInput) {
    TempDir dir;
    WriteFile(dir / "src/empty", "");
    ASSERT_TRUE(Build(dir / "src", dir / "out.pak").ok);

    const TStringList listing = ListArchive(dir / "out.pak");
    ASSERT_EQ(listing.size(), 1u);
    EXPECT_EQ(ListingField(listing[0], kPackedSizeColumn), 8);
    EXPECT_EQ(ListingField(listing[0], kUnpackedSizeColumn), 0);
    const TArrayOfByte archive = ReadFileBytes(dir / "out.pak");
    const TArrayOfByte emptyStream = CompressBytes(nullptr, 0);
    const size_t dataStart = static_cast<size_t>(ListingField(listing[0], kAbsOffsetColumn));
    EXPECT_EQ(TArrayOfByte(archive.begin() + static_cast<std::ptrdiff_t>(dataStart), archive.end()), emptyStream);
}

TEST(MakeArchive, TwoFoldersAndTwoFilesGiveTheExactDirectoryDataOrderAndProgress) {
    TempDir dir;
    WriteFile(dir / "src/y", "why");
    WriteFile(dir / "src/x", "ex");
    MakeDir(dir / "src/B");
    WriteFile(dir / "src/A/a1", "alpha");
    TReports reports;
    const TBuildOutcome outcome = Build(dir / "src", dir / "out.pak", false, true, Recorder(reports));
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.folders, 2);
    EXPECT_EQ(outcome.files, 3);

    const TestFolder expected = Folder("", {Folder("A", {}, {File("a1", "alpha")}), Folder("B", {}, {})},
                                       {File("x", "ex"), File("y", "why")});
    EXPECT_EQ(ReadFileBytes(dir / "out.pak"), ExpectedArchive(expected));

    const TReports expectedReports{{0, 0, "preparing..."}, {0, 0, "scanning the directory..."},
                                   {1, 5, "A\\a1"},      {2, 5, "A"},
                                   {3, 5, "B"},           {4, 5, "x"},
                                   {5, 5, "y"},           {0, 0, "finalizing..."}};
    EXPECT_EQ(reports, expectedReports);
}

TEST(MakeArchive, EntriesAreSortedIgnoringCaseWithTiesBrokenByBytes) {
    TempDir dir;
    for (const char* name : {"b", "C", "ab", "a", "A"}) WriteFile(dir / "src" + "/" + name, name);
    MakeDir(dir / "src/Zeta");
    MakeDir(dir / "src/alpha");
    WriteFile(dir / "src/Zeta/z", "z");
    WriteFile(dir / "src/alpha/q", "q");
    ASSERT_TRUE(Build(dir / "src", dir / "out.pak").ok);
    const std::vector<std::string> expected{"alpha\\q", "Zeta\\z", "A", "a", "ab", "b", "C"};
    EXPECT_EQ(ListedPaths(ListArchive(dir / "out.pak")), expected);
}

TEST(MakeArchive, BuildsOfOneTreeAreByteIdenticalWhateverTheCreationOrder) {
    TempDir dir;
    const std::vector<std::string> names{"Delta", "alpha", "Charlie", "bravo", "echo.txt", "ECHO.TXT", "f"};
    for (const std::string& name : names) WriteFile(dir / "one/sub/" + name, "content of " + name);
    for (auto it = names.rbegin(); it != names.rend(); ++it) WriteFile(dir / "two/sub/" + *it, "content of " + *it);
    for (const std::string& name : names) MakeDir(dir / "one/" + name + ".d");
    for (auto it = names.rbegin(); it != names.rend(); ++it) MakeDir(dir / "two/" + *it + ".d");

    ASSERT_TRUE(Build(dir / "one", dir / "first.pak").ok);
    ASSERT_TRUE(Build(dir / "one", dir / "again.pak").ok);
    ASSERT_TRUE(Build(dir / "two", dir / "other.pak").ok);
    const TArrayOfByte first = ReadFileBytes(dir / "first.pak");
    EXPECT_EQ(first, ReadFileBytes(dir / "again.pak"));
    EXPECT_EQ(first, ReadFileBytes(dir / "other.pak"));
}

TEST(MakeArchive, XboxFlavourHasBigEndianIntegersAndTheSameStreams) {
    TempDir dir;
    WriteFile(dir / "src/data/level.bin", std::string(3000, 'L') + "end");
    WriteFile(dir / "src/readme.txt", "read me");
    ASSERT_TRUE(Build(dir / "src", dir / "pc.pak", false).ok);
    ASSERT_TRUE(Build(dir / "src", dir / "xbox.pak", true).ok);

    const TestFolder tree = Folder("", {Folder("data", {}, {File("level.bin", std::string(3000, 'L') + "end")})},
                                   {File("readme.txt", "read me")});
    const TArrayOfByte pc = ReadFileBytes(dir / "pc.pak");
    const TArrayOfByte xbox = ReadFileBytes(dir / "xbox.pak");
    EXPECT_EQ(pc, ExpectedArchive(tree, false));
    EXPECT_EQ(xbox, ExpectedArchive(tree, true));
    const TestArchive encoded = EncodeTree(tree, false);
    EXPECT_TRUE(std::equal(encoded.data.begin(), encoded.data.end(), xbox.end() - static_cast<std::ptrdiff_t>(encoded.data.size())));
    EXPECT_EQ(ListArchive(dir / "xbox.pak", true).size(), 2u);
}

TEST(MakeArchive, OnlyNamesWhoseExtensionIsDotLocAreConverted) {
    TempDir dir;
    const std::string text = "hello\r\nworld\r\n";
    for (const char* name : {"TEXT.LOC", "text.loc.bak", "loc", "menu.Loc"}) WriteFile(dir / "src/" + name, text);
    ASSERT_TRUE(Build(dir / "src", dir / "out.pak").ok);

    const TArrayOfByte archive = ReadFileBytes(dir / "out.pak");
    std::map<std::string, TArrayOfByte> stored;
    for (const std::string& line : ListArchive(dir / "out.pak"))
        stored[CutLine(line, kPrefixLength, kSuffixLength)] = StoredContent(archive, line);
    EXPECT_EQ(stored["TEXT.LOC"], LocTableOf({"hello", "world"}));
    EXPECT_EQ(stored["menu.Loc"], LocTableOf({"hello", "world"}));
    EXPECT_EQ(stored["text.loc.bak"], Bytes(text));
    EXPECT_EQ(stored["loc"], Bytes(text));
}

TEST(MakeArchive, LocTablesFollowTheFlavourAndConversionCanBeTurnedOff) {
    TempDir dir;
    WriteFile(dir / "src/strings.loc", "x");
    ASSERT_TRUE(Build(dir / "src", dir / "xbox.pak", true).ok);
    ASSERT_TRUE(Build(dir / "src", dir / "raw.pak", false, false).ok);

    const TStringList xboxListing = ListArchive(dir / "xbox.pak", true);
    ASSERT_EQ(xboxListing.size(), 1u);
    EXPECT_EQ(StoredContent(ReadFileBytes(dir / "xbox.pak"), xboxListing[0]), LocTableOf({"x"}, true));
    const TStringList rawListing = ListArchive(dir / "raw.pak");
    ASSERT_EQ(rawListing.size(), 1u);
    EXPECT_EQ(StoredContent(ReadFileBytes(dir / "raw.pak"), rawListing[0]), Bytes("x"));
}

TEST(MakeArchive, HiddenFilesAndFoldersArePackedLikeAnyOther) {
    TempDir dir;
    WriteFile(dir / "src/.hidden", "h");
    WriteFile(dir / "src/.config/settings", "s");
    const TBuildOutcome outcome = Build(dir / "src", dir / "out.pak");
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.folders, 1);
    EXPECT_EQ(outcome.files, 2);
    const std::vector<std::string> expected{".config\\settings", ".hidden"};
    EXPECT_EQ(ListedPaths(ListArchive(dir / "out.pak")), expected);
}

TEST(MakeArchive, TaggedNamesAreStoredAsTheyAre) {
    TempDir dir;
    const std::string tagged = "menu.[0123456789abcdef01234567].txt";
    WriteFile(dir / "src/" + tagged, "tagged");
    ASSERT_TRUE(Build(dir / "src", dir / "out.pak").ok);
    EXPECT_EQ(ListedPaths(ListArchive(dir / "out.pak")), std::vector<std::string>{tagged});
}

TEST(MakeArchive, AnExistingArchiveIsReplacedEntirely) {
    TempDir dir;
    WriteFile(dir / "src/f", "fresh");
    WriteFile(dir / "out.pak", std::string(100000, '#'));
    ASSERT_TRUE(Build(dir / "src", dir / "out.pak").ok);
    EXPECT_EQ(ReadFileBytes(dir / "out.pak"), ExpectedArchive(Folder("", {}, {File("f", "fresh")})));
}

TEST(MakeArchive, FileWithoutObtainableContentIsLeftOutAndTheArchiveStillReads) {
    TempDir dir;
    WriteFile(dir / "src/first", "one");
    WriteFile(dir / "src/zed", "last");
    ASSERT_EQ(::mkfifo((dir / "src/pipe").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((dir / "src/pipe.loc").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("nowhere", (dir / "src/dangling").c_str()), 0);
    TReports reports;
    const TBuildOutcome outcome = Build(dir / "src", dir / "out.pak", false, true, Recorder(reports));

    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.folders, 0);
    EXPECT_EQ(outcome.files, 5);
    EXPECT_EQ(ReadFileBytes(dir / "out.pak"), ExpectedArchive(Folder("", {}, {File("first", "one"), File("zed", "last")})));
    const std::vector<std::string> expected{"first", "zed"};
    EXPECT_EQ(ListedPaths(ListArchive(dir / "out.pak")), expected);
    // Every file met is still one progress step.
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports[reports.size() - 2], (TReport{5, 5, "zed"}));
}

TEST(MakeArchive, FailedFilesInSubFoldersLeaveEveryFolderRecordReadable) {
    TempDir dir;
    WriteFile(dir / "src/a/keep", "k");
    ASSERT_EQ(::mkfifo((dir / "src/a/pipe").c_str(), 0644), 0);
    WriteFile(dir / "src/b/other", "o");
    ASSERT_FALSE(Build(dir / "src", dir / "out.pak", true).ok);
    const TestFolder expected = Folder("", {Folder("a", {}, {File("keep", "k")}), Folder("b", {}, {File("other", "o")})}, {});
    EXPECT_EQ(ReadFileBytes(dir / "out.pak"), ExpectedArchive(expected, true));
}

TEST(MakeArchive, TheArchiveInsideItsOwnSourceTreeIsNotPackedIntoItself) {
    TempDir dir;
    WriteFile(dir / "src/a", "a");
    WriteFile(dir / "src/z", "z");
    const TBuildOutcome first = Build(dir / "src", dir / "src/out.pak");
    EXPECT_TRUE(first.ok);
    EXPECT_EQ(first.files, 2);
    const TArrayOfByte firstBytes = ReadFileBytes(dir / "src/out.pak");
    EXPECT_EQ(firstBytes, ExpectedArchive(Folder("", {}, {File("a", "a"), File("z", "z")})));

    // Again, now that the archive already lies in the tree and is met by the count too.
    TReports reports;
    const TBuildOutcome second = Build(dir / "src", dir / "src/out.pak", false, true, Recorder(reports));
    EXPECT_TRUE(second.ok);
    EXPECT_EQ(second.files, 2);
    EXPECT_EQ(ReadFileBytes(dir / "src/out.pak"), firstBytes);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports[reports.size() - 2], (TReport{2, 2, "z"}));
}

TEST(MakeArchive, SymbolicLinkLoopEndsAndIsRecordedAsAnEmptyFolder) {
    TempDir dir;
    WriteFile(dir / "src/sub/f", "f");
    ASSERT_EQ(::symlink("..", (dir / "src/sub/up").c_str()), 0);
    const TBuildOutcome outcome = Build(dir / "src", dir / "out.pak");
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.folders, 2);  // sub and the link
    EXPECT_EQ(outcome.files, 1);
    const TestFolder expected = Folder("", {Folder("sub", {Folder("up", {}, {})}, {File("f", "f")})}, {});
    EXPECT_EQ(ReadFileBytes(dir / "out.pak"), ExpectedArchive(expected));
}

TEST(MakeArchive, LinkToAFolderOffThePathIsEnteredLikeTheFolder) {
    TempDir dir;
    WriteFile(dir / "src/real/r", "r");
    ASSERT_EQ(::symlink("real", (dir / "src/view").c_str()), 0);
    const TBuildOutcome outcome = Build(dir / "src", dir / "out.pak");
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.folders, 2);
    const std::vector<std::string> expected{"real\\r", "view\\r"};
    EXPECT_EQ(ListedPaths(ListArchive(dir / "out.pak")), expected);
}

TEST(MakeArchive, EmptyArchivePathOrMissingDirectoryFailsBeforeAnythingHappens) {
    TempDir dir;
    MakeDir(dir / "src");
    int calls = 0;
    const ProgressProc counter = [&calls](const TProgress&) { ++calls; };
    const TBuildOutcome unnamed = Build(dir / "src", "", false, true, counter);
    const TBuildOutcome missing = Build(dir / "missing", dir / "out.pak", false, true, counter);
    EXPECT_FALSE(unnamed.ok);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(unnamed.files + missing.files + unnamed.folders + missing.folders, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.pak"));
}

TEST(MakeArchive, AnArchiveThatCannotBeCreatedRaises) {
    TempDir dir;
    WriteFile(dir / "src/f", "f");
    EXPECT_THROW(Build(dir / "src", dir / "no/such/dir/out.pak"), EInOutError);
}

TEST(MakeArchive, FileOfTwoGibibytesIsRefusedWithAnErrorNamingIt) {
    TempDir dir;
    WriteFile(dir / "src/huge.bin", "");
    ASSERT_EQ(::truncate((dir / "src/huge.bin").c_str(), int64_t{1} << 31), 0);  // sparse: no data written
    try {
        Build(dir / "src", dir / "out.pak");
        FAIL() << "a file of 2 GiB was packed";
    } catch (const EInOutError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("huge.bin"), std::string::npos) << message;
        EXPECT_NE(message.find("2 GiB"), std::string::npos) << message;
    }
}

namespace {

// A random tree written to disk, with the content each file must have in the archive.
class GeneratedTree {
public:
    GeneratedTree(const std::string& root, unsigned seed) : root_(root), random_(seed) {
        MakeDir(root);
        Fill(root, "", 0);
    }

    const std::map<std::string, TArrayOfByte>& Expected() const { return expected_; }
    int32_t FolderCount() const { return folders_; }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    std::string Name(std::set<std::string>& taken) {
        static const std::string kChars = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _-.";
        std::string name;
        do {
            name.clear();
            const int length = Pick(1, 12);
            for (int k = 0; k < length; ++k) name += kChars[static_cast<size_t>(Pick(0, static_cast<int>(kChars.size()) - 1))];
        } while (name == "." || name == ".." || !taken.insert(name).second);
        return name;
    }

    TArrayOfByte Content() {
        const int kind = Pick(0, 3);
        const int size = kind == 0 ? 0 : Pick(1, kind == 3 ? 60000 : 3000);
        TArrayOfByte content(static_cast<size_t>(size));
        for (uint8_t& byte : content)
            byte = kind == 1 ? static_cast<uint8_t>(Pick(0, 255)) : static_cast<uint8_t>("abc \n"[Pick(0, 4)]);
        return content;
    }

    void AddLocFile(const std::string& dir, const std::string& relDir, const std::string& name) {
        std::vector<std::string> lines(static_cast<size_t>(Pick(0, 20)));
        std::string text;
        for (std::string& line : lines) {
            line = std::string(static_cast<size_t>(Pick(0, 30)), static_cast<char>('a' + Pick(0, 25)));
            text += line + "\r\n";
        }
        WriteFile(dir + "/" + name, text);
        expected_[relDir + name] = LocTableOf(lines);
    }

    void Fill(const std::string& dir, const std::string& relDir, int depth) {
        std::set<std::string> taken;
        // The top levels are never bare, so that every seed gives a tree worth the name.
        const int fileCount = Pick(depth == 0 ? 3 : 0, 8);
        for (int k = 0; k < fileCount; ++k) {
            const std::string name = Name(taken);
            if (Pick(0, 5) == 0 && taken.insert(name + ".loc").second) {
                AddLocFile(dir, relDir, name + ".loc");
                continue;
            }
            if (IsLocFileName(name)) continue;  // only the files made as text may carry the extension
            const TArrayOfByte content = Content();
            WriteFile(dir + "/" + name, content);
            expected_[relDir + name] = content;
        }
        const int folderCount = depth < 3 ? Pick(depth < 2 ? 2 : 0, 3) : 0;
        for (int k = 0; k < folderCount; ++k) {
            const std::string name = Name(taken);
            MakeDir(dir + "/" + name);
            ++folders_;
            Fill(dir + "/" + name, relDir + name + "\\", depth + 1);
        }
    }

    std::string root_;
    std::mt19937 random_;
    std::map<std::string, TArrayOfByte> expected_;
    int32_t folders_ = 0;
};

}  // namespace

TEST(MakeArchiveRoundTrip, EveryStreamOfAGeneratedTreeDecompressesToItsFile) {
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TempDir dir;
        const GeneratedTree tree(dir / "src", seed);
        const TBuildOutcome outcome = Build(dir / "src", dir / "out.pak");
        ASSERT_TRUE(outcome.ok);
        EXPECT_EQ(outcome.folders, tree.FolderCount());
        EXPECT_EQ(outcome.files, static_cast<int32_t>(tree.Expected().size()));

        const TArrayOfByte archive = ReadFileBytes(dir / "out.pak");
        const TStringList listing = ListArchive(dir / "out.pak");
        ASSERT_EQ(listing.size(), tree.Expected().size());
        int64_t nextOffset = 0;
        for (const std::string& line : listing) {
            const std::string path = CutLine(line, kPrefixLength, kSuffixLength);
            const auto expected = tree.Expected().find(path);
            ASSERT_NE(expected, tree.Expected().end()) << path;
            EXPECT_EQ(StoredContent(archive, line), expected->second) << path;
            // Streams stand back to back in directory order.
            EXPECT_EQ(ListingField(line, kDataOffsetColumn), nextOffset) << path;
            nextOffset += ListingField(line, kPackedSizeColumn);
        }
        // The data area ends with the last stream.
        if (listing.empty()) continue;
        const int64_t headerSize =
            ListingField(listing[0], kAbsOffsetColumn) - ListingField(listing[0], kDataOffsetColumn);
        EXPECT_EQ(static_cast<int64_t>(archive.size()), headerSize + nextOffset);
    }
}

TEST(MakeArchiveRoundTrip, ExtractingTheArchiveGivesBackEveryFileByteForByte) {
    TempDir dir;
    const GeneratedTree tree(dir / "src", 7);
    ASSERT_TRUE(Build(dir / "src", dir / "out.pak").ok);
    MakeDir(dir / "out");
    TStringList listing;
    ASSERT_TRUE(
        ExtractArchive({.archivePath = dir / "out.pak", .targetDir = dir / "out", .listing = &listing}).ok);

    size_t extractedFiles = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "out"))
        if (entry.is_regular_file()) ++extractedFiles;
    EXPECT_EQ(extractedFiles, tree.Expected().size());
    for (const auto& [path, stored] : tree.Expected()) {
        const std::string hostPath = HostPathBelow("", path).substr(2);
        EXPECT_EQ(ReadFileBytes(dir / "out/" + hostPath), ReadFileBytes(dir / "src/" + hostPath)) << path;
    }
}
