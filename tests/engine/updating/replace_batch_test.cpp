#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/format/hash_tag.h"
#include "engine/updating/internal/archive_update.h"
#include "engine/updating/internal/replace_batch.h"
#include "engine/updating/replace_batch.h"
#include "helpers/archive_writer.h"
#include "helpers/file_by_file.h"
#include "helpers/progress_record.h"
#include "helpers/archive_probe.h"
#include "helpers/run_cli.h"
#include "helpers/stored_archive.h"
#include "helpers/temp_dir.h"
#include "hooks/host_test_hooks.h"
#include "support/errors.h"
#include "support/zlib_adapter.h"
#include "helpers/operation_results.h"

namespace fs = std::filesystem;

namespace {

struct TOutcome {
    bool ok = false;
    int32_t count = -1;
    TReports reports;
    TArrayOfByte archive;
    std::vector<std::string> notices;
};

enum class TProcedure { OnePass, OnePassParkingEachStream, FileByFile };

TOutcome Run(TProcedure procedure, const std::string& archive, const std::string& source, bool byTag) {
    TOutcome outcome;
    const ProgressProc recorder = RecordFileReports(outcome.reports);
    TNotices notices;
    switch (procedure) {
        case TProcedure::OnePass:
            outcome.ok = Replaced(ReplaceFromDirectory({.archivePath = archive, .sourceDir = source, .matchByTag = byTag, .progress = recorder, .notices = &notices}), outcome.count);
            break;
        case TProcedure::OnePassParkingEachStream:
            outcome.ok = Replaced(ReplaceFromDirectoryHolding({.archivePath = archive, .sourceDir = source, .matchByTag = byTag, .progress = recorder, .notices = &notices}, 0), outcome.count);
            break;
        case TProcedure::FileByFile:
            outcome.ok = Replaced(ReplaceFromDirectoryFileByFile({.archivePath = archive, .sourceDir = source, .matchByTag = byTag, .progress = recorder, .notices = &notices}), outcome.count);
            break;
    }
    outcome.archive = ReadFileBytes(archive);
    // Each procedure runs on its own copy of the archive, which the notices may name.
    for (const TNotice& notice : notices) {
        std::string text = notice.text;
        for (size_t at = text.find(archive); at != std::string::npos; at = text.find(archive))
            text.replace(at, archive.size(), "ARCHIVE");
        outcome.notices.push_back(text);
    }
    return outcome;
}

// Runs the one-pass procedures and the file-by-file one on copies of one archive with one
// source tree, and expects the same archive bytes, result, count, reports and notices.
void ExpectSameAsFileByFile(const TempDir& dir, const TArrayOfByte& archive, const std::string& source, bool byTag) {
    WriteFile(dir / "reference.pak", archive);
    const TOutcome reference = Run(TProcedure::FileByFile, dir / "reference.pak", source, byTag);
    for (TProcedure procedure : {TProcedure::OnePass, TProcedure::OnePassParkingEachStream}) {
        SCOPED_TRACE(procedure == TProcedure::OnePass ? "one pass" : "one pass, each new stream parked");
        WriteFile(dir / "batch.pak", archive);
        const TOutcome outcome = Run(procedure, dir / "batch.pak", source, byTag);
        EXPECT_EQ(outcome.ok, reference.ok);
        EXPECT_EQ(outcome.count, reference.count);
        EXPECT_EQ(outcome.reports, reference.reports);
        EXPECT_EQ(outcome.notices, reference.notices);
        EXPECT_TRUE(outcome.archive == reference.archive)
            << "archives differ: " << outcome.archive.size() << " and " << reference.archive.size() << " bytes";
    }
}

class TRandom {
public:
    explicit TRandom(unsigned seed) : engine_(seed) {}
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
    bool Chance(int percent) { return Pick(0, 99) < percent; }

    // Text that compresses well, or noise that does not, of a random length.
    TArrayOfByte Content(int maxSize) {
        const bool noise = Chance(30);
        TArrayOfByte content(static_cast<size_t>(Pick(0, maxSize)));
        for (uint8_t& b : content) b = noise ? static_cast<uint8_t>(Pick(0, 255)) : static_cast<uint8_t>("ab \n"[Pick(0, 3)]);
        return content;
    }

private:
    std::mt19937 engine_;
};

// A tree of folders and files, sorted as the builder sorts them, and every file's path.
TestFolder RandomTree(TRandom& random, std::vector<std::string>& paths) {
    TestFolder root;
    for (int f = 0; f < 3; ++f) {
        TestFolder folder{"dir" + std::to_string(f), {}, {}};
        const int files = random.Pick(2, 8);
        for (int k = 0; k < files; ++k) {
            folder.files.push_back({"f" + std::to_string(k) + ".bin", random.Content(4000)});
            paths.push_back(folder.name + "\\" + folder.files.back().name);
        }
        root.folders.push_back(folder);
    }
    for (int k = 0; k < random.Pick(1, 5); ++k) {
        root.files.push_back({"r" + std::to_string(k) + ".txt", random.Content(20000)});
        paths.push_back(root.files.back().name);
    }
    return root;
}

std::string HostPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Writes new files for random entries below source: some matched twice (in another letter
// case, or by tag from another folder), some without an entry, one that cannot be read.
void WriteRandomBatch(TRandom& random, const std::vector<std::string>& paths, const std::string& source,
                      bool byTag) {
    fs::create_directories(source);
    int written = 0;
    for (const std::string& path : paths) {
        if (!random.Chance(40)) continue;
        const TArrayOfByte content = random.Content(random.Chance(50) ? 300 : 30000);
        std::string name = HostPath(path);
        if (byTag) {
            const std::string tag = TagToText(PathHashTag(path));
            name = "tagged" + std::to_string(written % 3) + "/entry" + std::to_string(written) + ".[" + tag + "].bin";
            WriteFile(source + "/" + name, content);
            if (random.Chance(25)) {
                WriteFile(source + "/again/twice" + std::to_string(written) + ".[" + tag + "].bin",
                          random.Content(5000));
            }
        } else {
            WriteFile(source + "/" + name, content);
            if (random.Chance(25) && Upper(name) != name) WriteFile(source + "/" + Upper(name), random.Content(5000));
        }
        ++written;
    }
    WriteFile(source + "/no such entry.bin", "nothing");
    if (byTag) WriteFile(source + "/untagged.bin", "no tag in the name");
    ASSERT_EQ(::mkfifo((source + "/unreadable").c_str(), 0644), 0);
}

// An archive whose data area has a gap between two streams, a stream shared by two
// entries and bytes after the last stream, as another writer might leave it.
TArrayOfByte IrregularArchive(TRandom& random, std::vector<std::string>& paths, int32_t oddPackedSize) {
    TArrayOfByte data;
    TArrayOfByte directory;
    PutInt(directory, false, 0);
    const int files = 12;
    PutInt(directory, false, files);
    for (int k = 0; k < files; ++k) {
        const std::string name = "g" + std::to_string(k);
        paths.push_back(name);
        const TArrayOfByte content = random.Content(3000);
        const TArrayOfByte stream = CompressBytes(content.data(), static_cast<int32_t>(content.size()));
        if (k == 4) data.insert(data.end(), 77, 0xEE);  // a gap in front of g4
        PutName(directory, false, name);
        if (k == 7) {
            // g7 names the stream of g6 again.
            const size_t previous = directory.size() - name.size() - 4 - 12;
            directory.insert(directory.end(), directory.begin() + static_cast<std::ptrdiff_t>(previous),
                             directory.begin() + static_cast<std::ptrdiff_t>(previous + 12));
            continue;
        }
        PutInt(directory, false, static_cast<int32_t>(data.size()));
        PutInt(directory, false, k == 9 ? oddPackedSize : static_cast<int32_t>(stream.size()));
        PutInt(directory, false, static_cast<int32_t>(content.size()));
        data.insert(data.end(), stream.begin(), stream.end());
    }
    data.insert(data.end(), 123, 0x55);  // bytes after the last stream
    return ArchiveBytes(directory, data, false);
}

// Random trees, each with a random batch of new files matched by path or by tag.
void ExpectRandomBatchesLeaveTheFileByFileBytes(unsigned firstSeed, unsigned trees, bool byTag) {
    for (unsigned seed = firstSeed; seed < firstSeed + trees; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TempDir dir;
        TRandom random(seed);
        std::vector<std::string> paths;
        const TestFolder tree = RandomTree(random, paths);
        const TestArchive encoded = EncodeTree(tree, false);
        WriteRandomBatch(random, paths, dir / "src", byTag);
        ExpectSameAsFileByFile(dir, ArchiveBytes(encoded.directory, encoded.data, false), dir / "src", byTag);
    }
}

}  // namespace

TEST(ReplaceFromDirectoryOnePass, RandomBatchesByPathLeaveTheFileByFileBytes) {
    ExpectRandomBatchesLeaveTheFileByFileBytes(1, 12, false);
}

TEST(ReplaceFromDirectoryOnePass, RandomBatchesByTagLeaveTheFileByFileBytes) {
    ExpectRandomBatchesLeaveTheFileByFileBytes(100, 8, true);
}

TEST(ReplaceFromDirectoryOnePass, GapsSharedStreamsAndTrailingBytesLeaveTheFileByFileBytes) {
    for (unsigned seed = 200; seed < 206; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TempDir dir;
        TRandom random(seed);
        std::vector<std::string> paths;
        const TArrayOfByte archive = IrregularArchive(random, paths, 100);
        // Every entry, so that the shared stream and those around the gap are tried too.
        for (const std::string& path : paths) WriteFile(dir / ("src/" + path), random.Content(random.Chance(50) ? 200 : 9000));
        ExpectSameAsFileByFile(dir, archive, dir / "src", false);
    }
}

TEST(ReplaceFromDirectoryOnePass, NegativeRecordFieldsLeaveTheFileByFileBytes) {
    TempDir dir;
    TRandom random(300);
    std::vector<std::string> paths;
    const TArrayOfByte archive = IrregularArchive(random, paths, -40);
    for (const std::string& path : paths) WriteFile(dir / ("src/" + path), random.Content(5000));
    ExpectSameAsFileByFile(dir, archive, dir / "src", false);
}

TEST(ReplaceFromDirectoryOnePass, UnchangedContentLeavesTheArchiveAsItWas) {
    TempDir dir;
    TRandom random(400);
    std::vector<std::string> paths;
    const TestFolder tree = RandomTree(random, paths);
    const TestArchive encoded = EncodeTree(tree, false);
    const TArrayOfByte archive = ArchiveBytes(encoded.directory, encoded.data, false);
    for (const TestFolder& folder : tree.folders)
        for (const TestFile& file : folder.files) WriteFile(dir / ("src/" + folder.name + "/" + file.name), file.content);
    for (const TestFile& file : tree.files) WriteFile(dir / ("src/" + file.name), file.content);
    WriteFile(dir / "x.pak", archive);
    const TReplaceResult result = ReplaceFromDirectory({.archivePath = dir / "x.pak", .sourceDir = dir / "src"});
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.replacedCount, 0);
    EXPECT_EQ(result.unchangedCount, static_cast<int32_t>(paths.size()));
    EXPECT_TRUE(ReadFileBytes(dir / "x.pak") == archive);
}

TEST(ReplaceFromDirectoryOnePass, AnArchiveThatDoesNotListFailsEveryFileUntouched) {
    TempDir dir;
    const TArrayOfByte notAnArchive = Bytes("this is not an archive at all");
    WriteFile(dir / "x.pak", notAnArchive);
    WriteFile(dir / "src/a", "a");
    WriteFile(dir / "src/b", "b");
    TReports reports;
    int32_t count = -1;
    EXPECT_FALSE(Replaced(ReplaceFromDirectory({.archivePath = dir / "x.pak", .sourceDir = dir / "src", .progress = RecordReports(reports)}), count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(reports.size(), 3u);
    EXPECT_TRUE(ReadFileBytes(dir / "x.pak") == notAnArchive);
}

TEST(ReplaceFromDirectoryOnePass, AnArchiveThatDoesNotListIsToldOnceAsFileByFile) {
    TempDir dir;
    WriteFile(dir / "src/a", "a");
    WriteFile(dir / "src/b", "b");
    const TArrayOfByte archive = Bytes("this is not an archive at all");
    ExpectSameAsFileByFile(dir, archive, dir / "src", false);
    WriteFile(dir / "x.pak", archive);
    const TOutcome outcome = ::Run(TProcedure::OnePass, dir / "x.pak", dir / "src", false);
    EXPECT_EQ(outcome.notices, std::vector<std::string>{
                                   "cannot read the archive \"ARCHIVE\": it is not a .PAK archive, or its header is damaged"});
}

namespace {

// An archive of a random tree and a source tree that replaces about half its entries with
// contents of other lengths, so that the pass moves most of the data area.
TArrayOfByte ArchiveAndBatch(const TempDir& dir, unsigned seed) {
    TRandom random(seed);
    std::vector<std::string> paths;
    const TestFolder tree = RandomTree(random, paths);
    const TestArchive encoded = EncodeTree(tree, false);
    for (size_t i = 0; i < paths.size(); i += 2) WriteFile(dir / ("src/" + HostPath(paths[i])), random.Content(9000));
    return ArchiveBytes(encoded.directory, encoded.data, false);
}

}  // namespace

TEST(ReplaceFromDirectoryOnePass, AWriteErrorDuringThePassLeavesTheArchiveAsItWas) {
    TempDir dir;
    const TArrayOfByte original = ArchiveAndBatch(dir, 500);
    for (int64_t nth : {1, 2, 3, 5, 8, 13, 21}) {
        SCOPED_TRACE("write " + std::to_string(nth));
        WriteFile(dir / "x.pak", original);
        host::hooks::FailNth(host::hooks::Operation::Write, nth, ENOSPC);
        int32_t count = 0;
        EXPECT_THROW(Replaced(ReplaceFromDirectoryHolding({.archivePath = dir / "x.pak", .sourceDir = dir / "src"}, 0), count),
                     EInOutError);
        host::hooks::ClearFaults();
        EXPECT_TRUE(ReadFileBytes(dir / "x.pak") == original);
        EXPECT_FALSE(fs::exists(dir / "x.pak.vpak-journal"));
    }
}

TEST(ReplaceFromDirectoryOnePass, AKilledPassIsRolledBackByTheNextOpen) {
    TempDir dir;
    const TArrayOfByte original = ArchiveAndBatch(dir, 501);
    WriteFile(dir / "expected.pak", original);
    int32_t count = 0;
    Replaced(ReplaceFromDirectory({.archivePath = dir / "expected.pak", .sourceDir = dir / "src"}), count);
    const TArrayOfByte expected = ReadFileBytes(dir / "expected.pak");
    ASSERT_FALSE(expected == original);

    int killed = 0;
    for (int64_t killAt = 1;; killAt += 1 + killAt / 6) {
        SCOPED_TRACE("killed at operation " + std::to_string(killAt));
        WriteFile(dir / "x.pak", original);
        const CliResult run = RunVpakWithEnvironment(VpakBuild::TestHooks, {"replace-dir", "-q", dir / "x.pak", dir / "src"},
                                                     {"VPAK_TEST_KILL_AT=" + std::to_string(killAt)});
        if (run.status != 128 + SIGKILL) {
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_TRUE(ReadFileBytes(dir / "x.pak") == expected);
            break;
        }
        ++killed;
        ASSERT_EQ(RunVpak({"list", dir / "x.pak"}).status, 0);
        ASSERT_TRUE(ReadFileBytes(dir / "x.pak") == original);
        ASSERT_FALSE(fs::exists(dir / "x.pak.vpak-journal"));
    }
    EXPECT_GT(killed, 10);
}

// ---- files that hold their entries' content already ---------------------------------------

namespace {

const std::vector<std::pair<std::string, TArrayOfByte>> kStoredFiles = {
    {"a.txt", Bytes("alpha")}, {"b.bin", Bytes("bravo bravo")}, {"c.txt", Bytes("charlie")}};

}  // namespace

TEST(ReplaceFromDirectoryOnePass, EntriesWhoseFilesHoldTheirContentKeepTheirStreamsAndAreCountedApart) {
    for (const int64_t budget : {int64_t{64} << 20, int64_t{0}}) {
        SCOPED_TRACE(budget == 0 ? "each new stream parked" : "new streams held");
        TempDir dir;
        WriteFile(dir / "x.pak", StoredStreamArchive(kStoredFiles, false));
        auto files = kStoredFiles;
        files[2].second = Bytes("a changed charlie");
        for (const auto& [name, content] : files) WriteFile(dir / ("src/" + name), content);
        const TReplaceResult result =
            ReplaceFromDirectoryHolding({.archivePath = dir / "x.pak", .sourceDir = dir / "src"}, budget);
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.replacedCount, 1);
        EXPECT_EQ(result.unchangedCount, 2);
        const TArrayOfByte after = ReadFileBytes(dir / "x.pak");
        const std::vector<ProbedEntry> entries = ProbeEntries(dir / "x.pak");
        ASSERT_EQ(entries.size(), 3u);
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(ProbeContent(after, entries[i]), files[i].second) << i;
        // The unchanged entries still hold their uncompressed streams.
        for (const size_t i : {0u, 1u}) {
            const TArrayOfByte kept(after.begin() + entries[i].absOffset,
                                    after.begin() + entries[i].absOffset + entries[i].packedSize);
            EXPECT_TRUE(kept == StoredZlibStream(files[i].second)) << i;
        }
    }
}

// A stream that does not inflate holds nothing, whatever its recorded size: the file's
// content replaces it.
TEST(ReplaceFromDirectoryOnePass, ADamagedStreamIsReplacedByTheFileOfItsRecordedSize) {
    TempDir dir;
    TArrayOfByte archive = StoredStreamArchive(kStoredFiles, false);
    archive[archive.size() - 6] ^= 0x55;  // a byte of the last stream's stored content
    WriteFile(dir / "x.pak", archive);
    for (const auto& [name, content] : kStoredFiles) WriteFile(dir / ("src/" + name), content);
    const TReplaceResult result = ReplaceFromDirectory({.archivePath = dir / "x.pak", .sourceDir = dir / "src"});
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.replacedCount, 1);
    EXPECT_EQ(result.unchangedCount, 2);
    const std::vector<ProbedEntry> entries = ProbeEntries(dir / "x.pak");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(ProbeContent(ReadFileBytes(dir / "x.pak"), entries[2]), kStoredFiles[2].second);
}
