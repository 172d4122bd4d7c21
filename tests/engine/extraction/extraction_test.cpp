#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/reading/archive_reader.h"
#include "engine/format/hash_tag.h"
#include "engine/notices.h"
#include "helpers/archive_writer.h"
#include "helpers/progress_record.h"
#include "helpers/temp_dir.h"
#include "support/errors.h"
#include "support/zlib_adapter.h"

namespace fs = std::filesystem;

namespace {

struct Extraction {
    bool ok = false;
    TStringList listing;
    TReports reports;
};

Extraction Extract(const std::string& archive, const std::string& target, bool bigEndian = false,
                   bool hashTags = false, bool convertLoc = true) {
    Extraction result;
    result.ok = ExtractArchive({.bigEndian = bigEndian, .archivePath = archive, .targetDir = target, .hashTags = hashTags, .convertLoc = convertLoc, .progress = RecordReports(result.reports), .listing = &result.listing}).ok;
    return result;
}

TestFile File(const std::string& name, const std::string& content) { return {name, Bytes(content)}; }

// Every regular file below dir, as paths relative to it.
std::vector<std::string> FilesBelow(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), dir).string());
    std::sort(files.begin(), files.end());
    return files;
}

// A root folder holding one file per (name, content), with hand-made records.
TArrayOfByte RootWithRecords(const std::vector<std::tuple<std::string, TArrayOfByte, int32_t>>& files,
                             TArrayOfByte& data) {
    TArrayOfByte directory;
    PutInt(directory, false, 0);
    PutInt(directory, false, static_cast<int32_t>(files.size()));
    for (const auto& [name, stream, unpacked] : files) {
        PutName(directory, false, name);
        PutInt(directory, false, static_cast<int32_t>(data.size()));
        PutInt(directory, false, static_cast<int32_t>(stream.size()));
        PutInt(directory, false, unpacked);
        data.insert(data.end(), stream.begin(), stream.end());
    }
    return directory;
}

TArrayOfByte Stream(const std::string& content) {
    return CompressBytes(content.data(), static_cast<int32_t>(content.size()));
}

}  // namespace

TEST(Extraction, WritesEveryFileBelowTheTargetInBothByteOrders) {
    for (bool bigEndian : {false, true}) {
        TempDir dir;
        TestFolder root{"", {{"data", {{"maps", {}, {File("m.bin", "map")}}}, {File("a.txt", "hello")}}},
                        {File("readme.txt", "top")}};
        WriteTestArchive(dir / "x.pak", root, bigEndian);
        const Extraction result = Extract(dir / "x.pak", dir / "out", bigEndian);
        ASSERT_FALSE(result.ok) << "the target does not exist yet";
        fs::create_directory(dir / "out");
        ASSERT_TRUE(Extract(dir / "x.pak", dir / "out", bigEndian).ok);
        EXPECT_EQ(ReadFileText(dir / "out/data/maps/m.bin"), "map");
        EXPECT_EQ(ReadFileText(dir / "out/data/a.txt"), "hello");
        EXPECT_EQ(ReadFileText(dir / "out/readme.txt"), "top");
    }
}

TEST(Extraction, EmptyArchiveCreatesNothingAndReportsOnlyTheFolderStep) {
    TempDir dir;
    WriteTestArchive(dir / "e.pak", TestFolder{});
    fs::create_directory(dir / "out");
    const Extraction result = Extract(dir / "e.pak", dir / "out");
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(fs::is_empty(dir / "out"));
    ASSERT_EQ(result.reports.size(), 1u);
    EXPECT_EQ(result.reports[0], (TReport{0, 0, "creating sub-directory structure..."}));
}

TEST(Extraction, EmptyFileBecomesEmptyOutputWithoutLocConversion) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("en.loc", ""), File("e.bin", "")}});
    fs::create_directory(dir / "out");
    EXPECT_TRUE(Extract(dir / "x.pak", dir / "out").ok);
    EXPECT_EQ(fs::file_size(dir / "out/en.loc"), 0u);
    EXPECT_EQ(fs::file_size(dir / "out/e.bin"), 0u);
}

TEST(Extraction, FoldersWithoutFilesAreNotCreated) {
    TempDir dir;
    TestFolder root{"", {{"empty", {{"deeper", {}, {}}}, {}}, {"full", {}, {File("f", "1")}}}, {}};
    WriteTestArchive(dir / "x.pak", root);
    fs::create_directory(dir / "out");
    EXPECT_TRUE(Extract(dir / "x.pak", dir / "out").ok);
    EXPECT_FALSE(fs::exists(dir / "out/empty"));
    EXPECT_TRUE(fs::exists(dir / "out/full/f"));
}

TEST(Extraction, HashTagsGoIntoNamesWhileProgressReportsTheArchivePath) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {{"data", {}, {File("a.txt", "A")}}}, {File("readme", "R")}});
    fs::create_directory(dir / "out");
    const Extraction result = Extract(dir / "x.pak", dir / "out", false, true);
    ASSERT_TRUE(result.ok);
    const std::string tagA = TagToText(PathHashTag("data\\a.txt"));
    const std::string tagR = TagToText(PathHashTag("readme"));
    EXPECT_EQ(ReadFileText(dir / ("out/data/a.[" + tagA + "].txt")), "A");
    EXPECT_EQ(ReadFileText(dir / ("out/readme.[" + tagR + "].")), "R");
    ASSERT_EQ(result.reports.size(), 3u);
    EXPECT_EQ(result.reports[1].text, "data\\a.txt");
    EXPECT_EQ(result.reports[2].text, "readme");
}

TEST(Extraction, LocTablesAreWrittenAsTextWhateverTheCaseOfTheirExtension) {
    TempDir dir;
    TArrayOfByte table;
    PutInt(table, false, 2);
    PutInt(table, false, 0);
    PutInt(table, false, 2);
    for (char c : std::string("A\0B\0", 4)) table.push_back(static_cast<uint8_t>(c));
    WriteTestArchive(dir / "x.pak", TestFolder{"", {{"text", {}, {{"en.LOC", table}}}}, {}});
    fs::create_directory(dir / "out");
    ASSERT_TRUE(Extract(dir / "x.pak", dir / "out").ok);
    EXPECT_EQ(ReadFileText(dir / "out/text/en.LOC"), "A\r\nB\r\n");

    fs::create_directory(dir / "raw");
    ASSERT_TRUE(Extract(dir / "x.pak", dir / "raw", false, false, false).ok);
    EXPECT_EQ(ReadFileBytes(dir / "raw/text/en.LOC"), table);
}

TEST(Extraction, FailedLocConversionLeavesAnEmptyFileAndGoesOn) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("bad.loc", "xy"), File("good.txt", "ok")}});
    fs::create_directory(dir / "out");
    EXPECT_FALSE(Extract(dir / "x.pak", dir / "out").ok);
    EXPECT_EQ(fs::file_size(dir / "out/bad.loc"), 0u);
    EXPECT_EQ(ReadFileText(dir / "out/good.txt"), "ok");
}

TEST(Extraction, WrongRecordedSizeLeavesAnEmptyFileAndTheOthersAreExtracted) {
    TempDir dir;
    TArrayOfByte data;
    const TArrayOfByte directory =
        RootWithRecords({{"a.bin", Stream("123456789"), 10}, {"b.bin", Stream("fine"), 4}}, data);
    WriteFile(dir / "x.pak", ArchiveBytes(directory, data, false));
    fs::create_directory(dir / "out");
    const Extraction result = Extract(dir / "x.pak", dir / "out");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(fs::file_size(dir / "out/a.bin"), 0u);
    EXPECT_EQ(ReadFileText(dir / "out/b.bin"), "fine");
    EXPECT_EQ(result.reports.size(), 3u);
}

TEST(Extraction, HugeRecordedSizeIsAFailedFileNotAnAllocation) {
    TempDir dir;
    TArrayOfByte data;
    const TArrayOfByte directory =
        RootWithRecords({{"bomb.bin", Stream("hello"), 0x7FFFFFF0}, {"neg.bin", Stream("x"), -5}}, data);
    WriteFile(dir / "x.pak", ArchiveBytes(directory, data, false));
    fs::create_directory(dir / "out");
    EXPECT_FALSE(Extract(dir / "x.pak", dir / "out").ok);
    EXPECT_EQ(fs::file_size(dir / "out/bomb.bin"), 0u);
    EXPECT_EQ(fs::file_size(dir / "out/neg.bin"), 0u);
}

TEST(Extraction, ThreeFilesGiveThreeProgressWordsWithTheTotalAbove) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {{"d", {}, {File("a", "1")}}}, {File("b", "2"), File("c", "3")}});
    fs::create_directory(dir / "out");
    const Extraction result = Extract(dir / "x.pak", dir / "out");
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.reports.size(), 4u);
    EXPECT_EQ(result.reports[0].total, 0);
    const std::vector<std::string> paths{"d\\a", "b", "c"};
    for (int64_t i = 1; i <= 3; ++i) EXPECT_EQ(result.reports[i], (TReport{i, 3, paths[i - 1]}));
}

TEST(Extraction, RunsTheSameWithoutACallback) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("a", "1")}});
    fs::create_directory(dir / "out");
    TStringList listing;
    EXPECT_TRUE(ExtractArchive({.archivePath = dir / "x.pak", .targetDir = dir / "out", .listing = &listing}).ok);
    EXPECT_EQ(ReadFileText(dir / "out/a"), "1");
}

TEST(Extraction, ExistingFilesOfTheSameNamesAreOverwritten) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("a.txt", "new")}});
    WriteFile(dir / "out/a.txt", "an older and longer content");
    EXPECT_TRUE(Extract(dir / "x.pak", dir / "out").ok);
    EXPECT_EQ(ReadFileText(dir / "out/a.txt"), "new");
}

// A file of ours is written over in place; one a new file would not equal (other
// permissions) is made afresh, as a new file; a failed file keeps nothing either way.
TEST(Extraction, FilesWrittenOverKeepNothingOfTheirOldContentAndOnlyOursAreReused) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak",
                     TestFolder{"", {}, {File("ours.txt", "new"), File("private.txt", "new too"), File("bad.loc", "xy")}});
    fs::create_directory(dir / "out");
    WriteFile(dir / "fresh", "");
    const auto freshPermissions = fs::status(dir / "fresh").permissions();
    WriteFile(dir / "out/ours.txt", "an older and longer content");
    WriteFile(dir / "out/private.txt", "an older and longer content");
    fs::permissions(dir / "out/private.txt", fs::perms::owner_read | fs::perms::owner_write);
    WriteFile(dir / "out/bad.loc", "an older content");
    struct stat before {};
    ASSERT_EQ(::stat((dir / "out/ours.txt").c_str(), &before), 0);

    EXPECT_FALSE(Extract(dir / "x.pak", dir / "out").ok);
    struct stat after {};
    ASSERT_EQ(::stat((dir / "out/ours.txt").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadFileText(dir / "out/ours.txt"), "new");
    EXPECT_EQ(ReadFileText(dir / "out/private.txt"), "new too");
    EXPECT_EQ(fs::status(dir / "out/private.txt").permissions(), freshPermissions);
    EXPECT_EQ(fs::file_size(dir / "out/bad.loc"), 0u);
}

TEST(Extraction, PathsThatWouldLeaveTheTargetAreFailedFilesAndWriteNothing) {
    TempDir dir;
    TArrayOfByte data;
    const std::vector<std::string> unsafe{"..\\escape1", "sub\\..\\..\\escape2", "\\escape3", "/escape4",
                                          "C:escape5", "", "a\\\\escape6", "x/../../escape7", ".."};
    std::vector<std::tuple<std::string, TArrayOfByte, int32_t>> records;
    for (const std::string& name : unsafe) records.emplace_back(name, Stream("bad"), 3);
    records.emplace_back("safe.txt", Stream("good"), 4);
    const TArrayOfByte directory = RootWithRecords(records, data);
    WriteFile(dir / "in/x.pak", ArchiveBytes(directory, data, false));
    for (const bool hashTags : {false, true}) {
        fs::remove_all(dir / "a");
        fs::create_directories(dir / "a/b/out");
        const Extraction result = Extract(dir / "in/x.pak", dir / "a/b/out", false, hashTags);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.reports.size(), unsafe.size() + 2);
        const std::string safe = hashTags ? "safe.[" + TagToText(PathHashTag("safe.txt")) + "].txt" : "safe.txt";
        EXPECT_EQ(FilesBelow(dir.Path()), (std::vector<std::string>{"a/b/out/" + safe, "in/x.pak"})) << hashTags;
    }
}

TEST(Extraction, AnEntryNameIsToldWithSlashesAndItsControlBytesEscaped) {
    TempDir dir;
    TArrayOfByte data;
    const TArrayOfByte directory = RootWithRecords({{"..\\new\nline\x1b[2J", Stream("bad"), 3}}, data);
    WriteFile(dir / "x.pak", ArchiveBytes(directory, data, false));
    fs::create_directory(dir / "out");
    TNotices notices;
    TStringList listing;
    EXPECT_FALSE(ExtractArchive({.archivePath = dir / "x.pak", .targetDir = dir / "out", .notices = &notices, .listing = &listing}).ok);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].path, "..\\new\nline\x1b[2J") << "the path as the archive holds it";
    EXPECT_EQ(notices[0].text,
              "cannot extract \"../new<0A>line<1B>[2J\": the name does not lead to a place inside the target folder");
}

TEST(Extraction, AnEntryThatWouldOverwriteTheArchiveItselfFails) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("other", "o"), File("x.pak", "clobber")}});
    const TArrayOfByte before = ReadFileBytes(dir / "x.pak");
    EXPECT_FALSE(Extract(dir / "x.pak", dir.Path()).ok);
    EXPECT_EQ(ReadFileBytes(dir / "x.pak"), before);
    EXPECT_EQ(ReadFileText(dir / "other"), "o");
}

TEST(Extraction, FoldersDifferingOnlyInCaseStillReceiveTheirFiles) {
    TempDir dir;
    TestFolder root{"", {{"Data", {}, {File("a.txt", "A")}}, {"data", {}, {File("b.txt", "B")}}}, {}};
    WriteTestArchive(dir / "x.pak", root);
    fs::create_directory(dir / "out");
    EXPECT_TRUE(Extract(dir / "x.pak", dir / "out").ok);
    EXPECT_EQ(ReadFileText(dir / "out/Data/a.txt"), "A");
    EXPECT_EQ(ReadFileText(dir / "out/data/b.txt"), "B");
}

TEST(Extraction, StreamPastTheEndOfTheArchiveRaisesReadBeyondEndOfFile) {
    TempDir dir;
    TArrayOfByte data;
    const TArrayOfByte directory = RootWithRecords({{"a", Stream("some content here"), 17}}, data);
    TArrayOfByte archive = ArchiveBytes(directory, data, false);
    archive.resize(archive.size() - 4);
    WriteFile(dir / "x.pak", archive);
    fs::create_directory(dir / "out");
    try {
        Extract(dir / "x.pak", dir / "out");
        FAIL() << "no error raised";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.what(), "Cannot read file \"" + dir / "x.pak" + "\": Read beyond end of file");
    }
}

TEST(Extraction, CorruptStreamRaisesDecompressionError) {
    TempDir dir;
    TArrayOfByte data;
    TArrayOfByte stream = Stream("some content that compresses into a stream");
    for (size_t i = 2; i < stream.size(); ++i) stream[i] ^= 0x5A;
    const TArrayOfByte directory = RootWithRecords({{"a", stream, 43}}, data);
    WriteFile(dir / "x.pak", ArchiveBytes(directory, data, false));
    fs::create_directory(dir / "out");
    try {
        Extract(dir / "x.pak", dir / "out");
        FAIL() << "no error raised";
    } catch (const EDecompressionError& error) {
        EXPECT_EQ(error.what(), "Damaged stream of entry \"a\" in \"" + dir / "x.pak" + "\"");
    }
}

// ---- the target folder -----------------------------------------------------------------

TEST(Extraction, ATargetThatIsNotThereOrCannotBeMadeIsToldAndNothingIsWritten) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("a.txt", "A")}});
    WriteFile(dir / "file", "in the way");
    const struct {
        std::string target;
        TTargetFolder folder;
        std::string text;
    } cases[] = {
        {dir / "missing", TTargetFolder::MustExist,
         "cannot extract into \"" + dir / "missing" + "\": No such file or directory"},
        {dir / "file", TTargetFolder::MustExist, "cannot extract into \"" + dir / "file" + "\": it is not a folder"},
        {dir / "file/sub", TTargetFolder::CreateWithParents,
         "cannot create the folder \"" + dir / "file" + "\": something other than a folder has that name"},
    };
    for (const auto& c : cases) {
        TStringList listing;
        TNotices notices;
        EXPECT_FALSE(ExtractArchive({.archivePath = dir / "x.pak", .targetDir = c.target, .notices = &notices, .targetFolder = c.folder, .listing = &listing}).ok);
        ASSERT_EQ(notices.size(), 1u) << c.target;
        EXPECT_EQ(notices[0].text, c.text);
    }
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_EQ(ReadFileText(dir / "file"), "in the way");
}

namespace {

std::string NumberedName(size_t i) { return "f" + std::to_string(1000 + i) + ".bin"; }
std::string NumberedContent(size_t i) { return "content of file " + std::to_string(i) + std::string(i % 50, 'x'); }

// A root folder of n numbered files; stream k (when below n) is replaced by the given one.
TArrayOfByte NumberedArchive(size_t n, size_t k = SIZE_MAX, const TArrayOfByte& streamK = {},
                             int32_t dataOffsetK = -1) {
    TArrayOfByte data;
    std::vector<std::tuple<std::string, TArrayOfByte, int32_t>> records;
    for (size_t i = 0; i < n; ++i) {
        const std::string content = NumberedContent(i);
        records.emplace_back(NumberedName(i), i == k ? streamK : Stream(content), static_cast<int32_t>(content.size()));
    }
    TArrayOfByte directory = RootWithRecords(records, data);
    if (dataOffsetK >= 0) {
        // The record's DataOffset stands right after its name; names here are all alike long.
        const size_t recordSize = 4 + NumberedName(0).size() + 12;
        const size_t at = 8 + k * recordSize + 4 + NumberedName(0).size();
        WriteInt32At(directory, at, dataOffsetK);
    }
    return ArchiveBytes(directory, data, false);
}

// Checks the state after an extraction that raised at file k of n: every file before it
// written in full and reported, file k present and empty, no file after it.
void ExpectStoppedAt(const TempDir& dir, const Extraction& result, size_t k, size_t n) {
    for (size_t i = 0; i < k; ++i) ASSERT_EQ(ReadFileText(dir / ("out/" + NumberedName(i))), NumberedContent(i)) << i;
    ASSERT_TRUE(fs::exists(dir / ("out/" + NumberedName(k))));
    EXPECT_EQ(fs::file_size(dir / ("out/" + NumberedName(k))), 0u);
    for (size_t i = k + 1; i < n; ++i) ASSERT_FALSE(fs::exists(dir / ("out/" + NumberedName(i)))) << i;
    ASSERT_EQ(result.reports.size(), k + 1) << "the folder step and one report per written file";
    EXPECT_EQ(result.reports.back().text, NumberedName(k - 1));
}

}  // namespace

TEST(Extraction, ManyFilesAreWrittenAndReportedOnTheCallingThreadInListingOrder) {
    TempDir dir;
    TestFolder root;
    for (int f = 0; f < 6; ++f) {
        TestFolder folder{"d" + std::to_string(f), {}, {}};
        for (size_t i = 0; i < 60; ++i) folder.files.push_back(File(NumberedName(i), NumberedContent(i + 100 * f)));
        root.folders.push_back(folder);
    }
    WriteTestArchive(dir / "x.pak", root);
    fs::create_directory(dir / "out");
    const std::thread::id caller = std::this_thread::get_id();
    bool allOnCaller = true;
    Extraction result;
    result.ok = ExtractArchive({.archivePath = dir / "x.pak", .targetDir = dir / "out", .progress = [&, record = RecordReports(result.reports)](const TProgress& progress) { allOnCaller = allOnCaller && std::this_thread::get_id() == caller; record(progress); }, .listing = &result.listing}).ok;
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(allOnCaller);
    ASSERT_EQ(result.reports.size(), 361u);
    for (size_t i = 0; i < 360; ++i) {
        const std::string path = "d" + std::to_string(i / 60) + "\\" + NumberedName(i % 60);
        EXPECT_EQ(result.reports[i + 1], (TReport{static_cast<int64_t>(i + 1), 360, path}));
        EXPECT_EQ(ReadFileText(dir / ("out/d" + std::to_string(i / 60) + "/" + NumberedName(i % 60))),
                  NumberedContent(i % 60 + 100 * (i / 60)));
    }
}

TEST(Extraction, CorruptStreamAmongManyEndsTheExtractionAtThatFile) {
    TempDir dir;
    TArrayOfByte corrupt = Stream(NumberedContent(150));
    for (size_t i = 2; i < corrupt.size(); ++i) corrupt[i] ^= 0x5A;
    WriteFile(dir / "x.pak", NumberedArchive(400, 150, corrupt));
    fs::create_directory(dir / "out");
    Extraction result;
    EXPECT_THROW(ExtractArchive({.archivePath = dir / "x.pak", .targetDir = dir / "out", .progress = RecordReports(result.reports), .listing = &result.listing}).ok,
                 EDecompressionError);
    ExpectStoppedAt(dir, result, 150, 400);
}

TEST(Extraction, StreamPastTheEndAmongManyEndsTheExtractionAtThatFile) {
    TempDir dir;
    WriteFile(dir / "x.pak", NumberedArchive(300, 77, Stream(NumberedContent(77)), 0x7FFF0000));
    fs::create_directory(dir / "out");
    Extraction result;
    try {
        ExtractArchive({.archivePath = dir / "x.pak", .targetDir = dir / "out", .progress = RecordReports(result.reports), .listing = &result.listing});
        FAIL() << "no error raised";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.what(), "Cannot read file \"" + dir / "x.pak" + "\": Read beyond end of file");
    }
    ExpectStoppedAt(dir, result, 77, 300);
}

TEST(Extraction, FilesLargerThanEverythingQueuedAtOnceAreExtractedWhole) {
    TempDir dir;
    TArrayOfByte big(48u << 20);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>((i * 31) >> 12);
    TArrayOfByte other = big;
    other[12345] ^= 1;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {{"a.bin", big}, File("b.txt", "small"), {"c.bin", other}}});
    fs::create_directory(dir / "out");
    ASSERT_TRUE(Extract(dir / "x.pak", dir / "out").ok);
    EXPECT_EQ(ReadFileBytes(dir / "out/a.bin"), big);
    EXPECT_EQ(ReadFileText(dir / "out/b.txt"), "small");
    EXPECT_EQ(ReadFileBytes(dir / "out/c.bin"), other);
}

TEST(Extraction, RecordedSizeShorterThanTheStreamIsAFailedFile) {
    TempDir dir;
    TArrayOfByte data;
    const TArrayOfByte directory =
        RootWithRecords({{"a.bin", Stream("123456789"), 8}, {"b.bin", Stream("fine"), 4}}, data);
    WriteFile(dir / "x.pak", ArchiveBytes(directory, data, false));
    fs::create_directory(dir / "out");
    EXPECT_FALSE(Extract(dir / "x.pak", dir / "out").ok);
    EXPECT_EQ(fs::file_size(dir / "out/a.bin"), 0u);
    EXPECT_EQ(ReadFileText(dir / "out/b.bin"), "fine");
}

TEST(Extraction, TheResultCountsTheFilesListedAndTheFilesWritten) {
    TempDir dir;
    TArrayOfByte data;
    const TArrayOfByte directory = RootWithRecords(
        {{"a.bin", Stream("123456789"), 8}, {"b.bin", Stream("fine"), 4}, {"c.bin", Stream("also"), 4}}, data);
    WriteFile(dir / "x.pak", ArchiveBytes(directory, data, false));
    const TExtractResult extracted = ExtractArchive({.archivePath = dir / "x.pak", .targetDir = dir / "out",
                                                     .targetFolder = TTargetFolder::CreateWithParents});
    EXPECT_FALSE(extracted.ok);
    EXPECT_EQ(extracted.fileCount, 3);
    EXPECT_EQ(extracted.extractedCount, 2);

    const TExtractResult listed = ExtractArchive({.archivePath = dir / "x.pak"});
    EXPECT_TRUE(listed.ok);
    EXPECT_EQ(listed.fileCount, 3);
    EXPECT_EQ(listed.extractedCount, 0) << "reading alone extracts nothing";
}

// ---- what already stands in the target ------------------------------------------------

namespace {

Extraction ExtractNoting(const std::string& archive, const std::string& target, TNotices& notices) {
    Extraction result;
    result.ok = ExtractArchive({.archivePath = archive, .targetDir = target, .notices = &notices, .listing = &result.listing}).ok;
    return result;
}

std::string NoticesText(const TNotices& notices) {
    std::string text;
    for (const TNotice& notice : notices) text += notice.text + "\n";
    return text;
}

}  // namespace

TEST(Extraction, AFolderLinkBelowTheTargetIsNotFollowedAndItsFilesFailByName) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {{"sub", {}, {File("evil.txt", "planted")}}}, {File("ok.txt", "k")}});
    fs::create_directories(dir / "out");
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "out/sub");
    TNotices notices;
    EXPECT_FALSE(ExtractNoting(dir / "x.pak", dir / "out", notices).ok);
    EXPECT_FALSE(fs::exists(dir / "elsewhere/evil.txt"));
    EXPECT_TRUE(fs::is_symlink(dir / "out/sub"));
    EXPECT_EQ(ReadFileText(dir / "out/ok.txt"), "k");
    EXPECT_NE(NoticesText(notices).find("\"sub/evil.txt\": \"" + dir / "out/sub" + "\" is a symbolic link"),
              std::string::npos)
        << NoticesText(notices);
}

TEST(Extraction, WhateverStandsUnderAFileNameIsReplacedNeverWrittenThrough) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("link", "L"), File("hard", "H"), File("pipe", "P")}});
    fs::create_directories(dir / "out");
    WriteFile(dir / "victim-of-link", "keep 1");
    WriteFile(dir / "victim-of-hard-link", "keep 2");
    fs::create_symlink(dir / "victim-of-link", dir / "out/link");
    fs::create_hard_link(dir / "victim-of-hard-link", dir / "out/hard");
    ASSERT_EQ(::mkfifo((dir / "out/pipe").c_str(), 0644), 0);  // no writer: opening it for reading would block

    ASSERT_TRUE(Extract(dir / "x.pak", dir / "out").ok);
    EXPECT_EQ(ReadFileText(dir / "victim-of-link"), "keep 1");
    EXPECT_EQ(ReadFileText(dir / "victim-of-hard-link"), "keep 2");
    for (const auto& [name, content] : {std::pair<std::string, std::string>{"link", "L"}, {"hard", "H"}, {"pipe", "P"}}) {
        const std::string path = dir / ("out/" + name);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << name;
        EXPECT_EQ(fs::hard_link_count(path), 1u) << name;
        EXPECT_EQ(ReadFileText(path), content) << name;
    }
}

TEST(Extraction, ALinkToTheArchiveUnderAFileNameIsAFailedFile) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {File("copy.pak", "clobber")}});
    const TArrayOfByte before = ReadFileBytes(dir / "x.pak");
    fs::create_directories(dir / "out");
    fs::create_symlink(dir / "x.pak", dir / "out/copy.pak");
    TNotices notices;
    EXPECT_FALSE(ExtractNoting(dir / "x.pak", dir / "out", notices).ok);
    EXPECT_EQ(ReadFileBytes(dir / "x.pak"), before);
    EXPECT_TRUE(fs::is_symlink(dir / "out/copy.pak"));
    EXPECT_NE(NoticesText(notices).find("is the archive being read"), std::string::npos) << NoticesText(notices);
}

TEST(Extraction, ADeepChainOfFoldersIsCreatedWhole) {
    TempDir dir;
    constexpr int kDepth = 2500;  // a path far longer than PATH_MAX
    // Each folder holds the next and no file; the last holds bottom.txt; the root top.txt.
    TArrayOfByte directory;
    for (int level = 0; level <= kDepth; ++level) {
        PutInt(directory, false, level < kDepth ? 1 : 0);
        if (level < kDepth) PutName(directory, false, "d");
    }
    const TArrayOfByte deep = Stream("deep");
    const TArrayOfByte top = Stream("top");
    PutInt(directory, false, 1);
    PutName(directory, false, "bottom.txt");
    for (const int32_t field : {0, static_cast<int32_t>(deep.size()), 4}) PutInt(directory, false, field);
    for (int level = 0; level < kDepth - 1; ++level) PutInt(directory, false, 0);
    PutInt(directory, false, 1);
    PutName(directory, false, "top.txt");
    for (const int32_t field : {static_cast<int32_t>(deep.size()), static_cast<int32_t>(top.size()), 3})
        PutInt(directory, false, field);
    TArrayOfByte data = deep;
    data.insert(data.end(), top.begin(), top.end());
    WriteFile(dir / "x.pak", ArchiveBytes(directory, data, false));
    fs::create_directories(dir / "out");
    ASSERT_TRUE(Extract(dir / "x.pak", dir / "out").ok);
    EXPECT_EQ(ReadFileText(dir / "out/top.txt"), "top");
    // Walk down by descriptor: the whole path is too long for a single open.
    int fd = ::open((dir / "out").c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < kDepth && fd >= 0; ++level) {
        const int child = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = child;
    }
    ASSERT_GE(fd, 0);
    const int file = ::openat(fd, "bottom.txt", O_RDONLY);
    ::close(fd);
    ASSERT_GE(file, 0);
    char content[8] = {};
    EXPECT_EQ(::read(file, content, sizeof content), 4);
    ::close(file);
    EXPECT_EQ(std::string(content), "deep");
}

TEST(Extraction, RecordsSharingAStreamWriteNoMoreThanTheArchiveCanInflateTo) {
    TempDir dir;
    // One stream of 4 MiB of zeros (a few KB stored), and many records that all point at it.
    const std::string zeros(4 << 20, '\0');
    const TArrayOfByte stream = Stream(zeros);
    TArrayOfByte directory;
    constexpr int kRecords = 400;
    PutInt(directory, false, 0);
    PutInt(directory, false, kRecords);
    for (int i = 0; i < kRecords; ++i) {
        PutName(directory, false, "copy" + std::to_string(i));
        PutInt(directory, false, 0);
        PutInt(directory, false, static_cast<int32_t>(stream.size()));
        PutInt(directory, false, static_cast<int32_t>(zeros.size()));
    }
    WriteFile(dir / "x.pak", ArchiveBytes(directory, stream, false));
    fs::create_directories(dir / "out");
    TNotices notices;
    EXPECT_FALSE(ExtractNoting(dir / "x.pak", dir / "out", notices).ok);

    uintmax_t written = 0;
    for (const auto& entry : fs::directory_iterator(dir / "out")) written += fs::file_size(entry.path());
    const int64_t archiveSize = static_cast<int64_t>(fs::file_size(dir / "x.pak"));
    EXPECT_LE(static_cast<int64_t>(written), MaxInflatedSize(archiveSize));
    EXPECT_GT(written, 0u) << "the first records are extracted";
    EXPECT_NE(NoticesText(notices).find("\"copy399\""), std::string::npos);
}
