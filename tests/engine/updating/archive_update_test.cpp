#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/building/archive_builder.h"
#include "engine/updating/archive_update.h"
#include "engine/format/hash_tag.h"
#include "engine/updating/internal/archive_update.h"
#include "engine/format/loc_convert.h"
#include "engine/updating/replace_batch.h"
#include "helpers/allocation_probe.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/progress_record.h"
#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "support/errors.h"
#include "support/number_text.h"
#include "support/progress.h"
#include "support/zlib_adapter.h"
#include "helpers/operation_results.h"

namespace fs = std::filesystem;

namespace {

TArrayOfByte RepeatedText(const std::string& text, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += text;
    return Bytes(out);
}

// Folders and files in sorted order, so the test writer gives the builder's exact layout.
TestFolder SampleTree() {
    TestFolder root;
    TestFolder data{"data", {}, {{"a.bin", RandomBytes(300, 1)}, {"b.txt", Bytes("bravo bravo bravo")}}};
    TestFolder deep{"deep", {}, {{"x.txt", Bytes("deep file")}}};
    data.folders.push_back(deep);
    root.folders.push_back(data);
    root.folders.push_back({"scripts", {}, {{"intro.txt", RepeatedText("Once upon a time. ", 20)},
                                            {"outro.txt", Bytes("The end.")}}});
    root.files = {{"readme.txt", Bytes("read me")}, {"z.bin", RandomBytes(100, 2)}};
    return root;
}

bool ReplaceRaw(const std::string& archive, const std::string& key, const TArrayOfByte& content,
                bool byTag = false) {
    TReplacementData data;
    data.Valid = 1;
    data.Data = content.data();
    data.UnpackedSize = static_cast<int32_t>(content.size());
    data.DataSize = static_cast<int32_t>(content.size());
    return ReplaceEntryData(false, archive, key, byTag, &data);
}

int IndexOf(const std::vector<ProbedEntry>& entries, const std::string& path) {
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].path == path) return static_cast<int>(i);
    return -1;
}

// Every entry of the archive holds the tree's content, in the tree's order.
void ExpectArchiveHoldsTree(const std::string& archive, const TestFolder& tree) {
    bool ok = false;
    const std::vector<ProbedEntry> entries = ProbeEntries(archive, &ok);
    ASSERT_TRUE(ok);
    const auto files = TreeFiles(tree);
    ASSERT_EQ(entries.size(), files.size());
    const TArrayOfByte bytes = ReadFileBytes(archive);
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(entries[i].path, files[i].first);
        EXPECT_EQ(ProbeContent(bytes, entries[i]), files[i].second) << files[i].first;
    }
}

// Streams stand one after the other from DataOffset 0 to the end of the file.
void ExpectContiguousLayout(const std::string& archive) {
    const std::vector<ProbedEntry> entries = ProbeEntries(archive);
    const TArrayOfByte bytes = ReadFileBytes(archive);
    const int32_t headerSize = ProbeHeaderSize(bytes);
    int32_t expectedOffset = 0;
    for (const ProbedEntry& e : entries) {
        EXPECT_EQ(e.dataOffset, expectedOffset) << e.path;
        EXPECT_EQ(e.absOffset, headerSize + e.dataOffset) << e.path;
        expectedOffset += e.packedSize;
    }
    EXPECT_EQ(static_cast<size_t>(headerSize + expectedOffset), bytes.size());
}

// Only the target's sizes change; records behind it move by delta, the others stay.
void ExpectOnlyLaterRecordsMoved(const std::vector<ProbedEntry>& before, const std::vector<ProbedEntry>& after,
                                 int target) {
    ASSERT_EQ(before.size(), after.size());
    const int32_t delta = after[target].packedSize - before[target].packedSize;
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].path, before[i].path);
        EXPECT_EQ(after[i].entryPos, before[i].entryPos);
        const bool later = before[i].dataOffset > before[target].dataOffset;
        EXPECT_EQ(after[i].dataOffset, before[i].dataOffset + (later ? delta : 0)) << before[i].path;
        if (static_cast<int>(i) == target) continue;
        EXPECT_EQ(after[i].packedSize, before[i].packedSize) << before[i].path;
        EXPECT_EQ(after[i].unpackedSize, before[i].unpackedSize) << before[i].path;
    }
}

struct Snapshot {
    TArrayOfByte bytes;
    fs::file_time_type mtime;
};

// Sets an old modification time first, so that any write would show.
Snapshot TakeSnapshot(const std::string& path) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24 * 365));
    return {ReadFileBytes(path), fs::last_write_time(path)};
}

void ExpectUntouched(const std::string& path, const Snapshot& snapshot) {
    EXPECT_EQ(ReadFileBytes(path), snapshot.bytes);
    EXPECT_EQ(fs::last_write_time(path), snapshot.mtime);
}

std::string TagTextOf(const std::string& archivePath) { return TagToText(PathHashTag(archivePath)); }

}  // namespace

// ---- one entry ----------------------------------------------------------------------------

TEST(ReplaceEntryData, LongerStreamMovesExactlyTheLaterRecords) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SampleTree();
    WriteTestArchive(pak, tree);
    const auto before = ProbeEntries(pak);
    const int target = IndexOf(before, "data\\b.txt");
    ASSERT_GE(target, 0);

    const TArrayOfByte content = RandomBytes(5000, 7);
    ASSERT_TRUE(ReplaceRaw(pak, "data\\b.txt", content));
    FindTestFile(tree, "data\\b.txt")->content = content;

    const auto after = ProbeEntries(pak);
    EXPECT_GT(after[target].packedSize, before[target].packedSize);
    EXPECT_EQ(after[target].unpackedSize, 5000);
    ExpectOnlyLaterRecordsMoved(before, after, target);
    ExpectArchiveHoldsTree(pak, tree);
    ExpectContiguousLayout(pak);
    EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
}

TEST(ReplaceEntryData, ShorterStreamMovesLaterRecordsBackAndShrinksTheFile) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SampleTree();
    WriteTestArchive(pak, tree);
    const auto before = ProbeEntries(pak);
    const size_t sizeBefore = ReadFileBytes(pak).size();
    const int target = IndexOf(before, "data\\a.bin");

    const TArrayOfByte content = Bytes("tiny");
    ASSERT_TRUE(ReplaceRaw(pak, "data\\a.bin", content));
    FindTestFile(tree, "data\\a.bin")->content = content;

    const auto after = ProbeEntries(pak);
    const int32_t delta = after[target].packedSize - before[target].packedSize;
    EXPECT_LT(delta, 0);
    ExpectOnlyLaterRecordsMoved(before, after, target);
    const TArrayOfByte bytes = ReadFileBytes(pak);
    const int32_t headerDelta = ProbeHeaderSize(bytes) - ProbeHeaderSize(EncodedArchive(SampleTree()));
    EXPECT_EQ(static_cast<int64_t>(bytes.size()), static_cast<int64_t>(sizeBefore) + delta + headerDelta);
    ExpectArchiveHoldsTree(pak, tree);
    EXPECT_EQ(bytes, EncodedArchive(tree));
}

TEST(ReplaceEntryData, LastStreamChangesNoOtherRecord) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SampleTree();
    WriteTestArchive(pak, tree);
    const auto before = ProbeEntries(pak);
    const int last = static_cast<int>(before.size()) - 1;
    ASSERT_EQ(before[last].path, "z.bin");

    const TArrayOfByte content = RandomBytes(2000, 9);
    ASSERT_TRUE(ReplaceRaw(pak, "z.bin", content));
    FindTestFile(tree, "z.bin")->content = content;

    const auto after = ProbeEntries(pak);
    for (int i = 0; i < last; ++i) {
        EXPECT_EQ(after[i].dataOffset, before[i].dataOffset);
        EXPECT_EQ(after[i].packedSize, before[i].packedSize);
        EXPECT_EQ(after[i].unpackedSize, before[i].unpackedSize);
    }
    ExpectArchiveHoldsTree(pak, tree);
    ExpectContiguousLayout(pak);
}

TEST(ReplaceEntryData, UnchangedContentLeavesTheArchiveByteForByte) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    const TestFolder tree = SampleTree();
    WriteTestArchive(pak, tree);
    const TArrayOfByte original = ReadFileBytes(pak);
    for (const auto& [path, content] : TreeFiles(tree)) {
        ASSERT_TRUE(ReplaceRaw(pak, path, content)) << path;
        EXPECT_EQ(ReadFileBytes(pak), original) << path;
    }
}

// What the journal benchmark measures as the bare update is the same update, journal aside.
TEST(ReplaceEntryData, WithoutItsJournalTheUpdateLeavesTheSameArchiveAndNoJournal) {
    TempDir dir;
    const TestFolder tree = SampleTree();
    const TArrayOfByte content = RandomBytes(5000, 11);
    TReplacementData data;
    data.Valid = 1;
    data.Data = content.data();
    data.UnpackedSize = BufferLength(content);
    data.DataSize = BufferLength(content);
    for (const TJournalling journalling : {TJournalling::Kept, TJournalling::Skipped}) {
        const std::string pak = dir / (journalling == TJournalling::Kept ? "kept.pak" : "skipped.pak");
        WriteTestArchive(pak, tree);
        ASSERT_TRUE(ReplaceEntryData(false, pak, "data\\a.bin", false, &data, nullptr, journalling));
        EXPECT_FALSE(fs::exists(pak + ".vpak-journal"));
    }
    EXPECT_EQ(ReadFileBytes(dir / "kept.pak"), ReadFileBytes(dir / "skipped.pak"));
}

TEST(ReplaceEntryData, EmptyContentGivesPackedSize8AndUnpackedSize0) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SampleTree();
    WriteTestArchive(pak, tree);
    ASSERT_TRUE(ReplaceRaw(pak, "scripts\\intro.txt", {}));
    FindTestFile(tree, "scripts\\intro.txt")->content.clear();
    const auto after = ProbeEntries(pak);
    const int target = IndexOf(after, "scripts\\intro.txt");
    EXPECT_EQ(after[target].packedSize, 8);
    EXPECT_EQ(after[target].unpackedSize, 0);
    ExpectArchiveHoldsTree(pak, tree);
    EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
}

TEST(ReplaceEntryData, PackedDataIsStoredUnchanged) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SampleTree());
    const TArrayOfByte plain = RepeatedText("packed elsewhere ", 30);
    const TArrayOfByte stream = CompressBytes(plain.data(), static_cast<int32_t>(plain.size()));
    TReplacementData data;
    data.Valid = 1;
    data.Data = stream.data();
    data.DataSize = static_cast<int32_t>(stream.size());
    data.UnpackedSize = static_cast<int32_t>(plain.size());
    data.IsPacked = 1;
    ASSERT_TRUE(ReplaceEntryData(false, pak, "readme.txt", false, &data));

    const auto after = ProbeEntries(pak);
    const ProbedEntry& e = after[IndexOf(after, "readme.txt")];
    const TArrayOfByte bytes = ReadFileBytes(pak);
    EXPECT_EQ(e.packedSize, static_cast<int32_t>(stream.size()));
    EXPECT_EQ(e.unpackedSize, static_cast<int32_t>(plain.size()));
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), bytes.begin() + e.absOffset));
    EXPECT_EQ(ProbeContent(bytes, e), plain);
}

TEST(ReplaceEntryData, RefusesUnusableDataWithoutTouchingTheArchive) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SampleTree());
    const Snapshot snapshot = TakeSnapshot(pak);
    const TArrayOfByte content = Bytes("content");

    EXPECT_FALSE(ReplaceEntryData(false, pak, "readme.txt", false, nullptr));

    TReplacementData invalid{0, content.data(), 7, 7, 0};
    EXPECT_FALSE(ReplaceEntryData(false, pak, "readme.txt", false, &invalid));

    TReplacementData sizesDiffer{1, content.data(), 6, 7, 0};
    EXPECT_FALSE(ReplaceEntryData(false, pak, "readme.txt", false, &sizesDiffer));

    TReplacementData negative{1, content.data(), -1, -1, 0};
    EXPECT_FALSE(ReplaceEntryData(false, pak, "readme.txt", false, &negative));

    TReplacementData noBytes{1, nullptr, 7, 7, 0};
    EXPECT_FALSE(ReplaceEntryData(false, pak, "readme.txt", false, &noBytes));

    // An empty stored stream would leave the entry with PackedSize 0.
    TReplacementData emptyStream{1, content.data(), 0, 0, 1};
    EXPECT_FALSE(ReplaceEntryData(false, pak, "readme.txt", false, &emptyStream));

    ExpectUntouched(pak, snapshot);
}

TEST(ReplaceEntryData, UnknownKeyMissingArchiveOrNonArchiveGiveFalse) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SampleTree());
    const Snapshot snapshot = TakeSnapshot(pak);
    const TArrayOfByte content = Bytes("x");

    EXPECT_FALSE(ReplaceRaw(pak, "scripts\\missing.txt", content));
    EXPECT_FALSE(ReplaceRaw(pak, "", content));
    EXPECT_FALSE(ReplaceRaw(pak, "scripts", content));
    EXPECT_FALSE(ReplaceRaw(pak, TagTextOf("no\\such\\entry"), content, true));
    ExpectUntouched(pak, snapshot);

    EXPECT_FALSE(ReplaceRaw(dir / "missing.pak", "readme.txt", content));
    EXPECT_FALSE(ReplaceRaw("", "readme.txt", content));
    EXPECT_FALSE(ReplaceRaw(dir.Path(), "readme.txt", content));

    const std::string junk = dir / "junk.pak";
    WriteFile(junk, "this is not an archive at all");
    EXPECT_FALSE(ReplaceRaw(junk, "readme.txt", content));
    EXPECT_EQ(ReadFileText(junk), "this is not an archive at all");
}

TEST(ReplaceEntryData, KeyInAnotherCaseOrWithForwardSlashesFindsTheEntry) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SampleTree();
    WriteTestArchive(pak, tree);
    const TArrayOfByte content = Bytes("a new beginning");
    ASSERT_TRUE(ReplaceRaw(pak, "SCRIPTS/Intro.TXT", content));
    FindTestFile(tree, "scripts\\intro.txt")->content = content;
    ExpectArchiveHoldsTree(pak, tree);
}

TEST(ReplaceEntryData, TagKeyFindsTheEntryWhosePathHasThatTag) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SampleTree();
    WriteTestArchive(pak, tree);
    const TArrayOfByte content = Bytes("found by tag");
    ASSERT_TRUE(ReplaceRaw(pak, TagTextOf("data\\deep\\x.txt"), content, true));
    FindTestFile(tree, "data\\deep\\x.txt")->content = content;
    ExpectArchiveHoldsTree(pak, tree);
}

TEST(ReplaceEntryData, ByteOrderFlagTrueRefusesEveryOperationUntouched) {
    TempDir dir;
    const std::string pc = dir / "pc.pak";
    const std::string xbox = dir / "xbox.pak";
    WriteTestArchive(pc, SampleTree());
    WriteTestArchive(xbox, SampleTree(), true);
    WriteFile(dir / "src/readme.txt", "new text");
    const TArrayOfByte content = Bytes("new text");
    TReplacementData data{1, content.data(), 8, 8, 0};

    for (const std::string& pak : {pc, xbox}) {
        const Snapshot snapshot = TakeSnapshot(pak);
        EXPECT_FALSE(ReplaceEntryData(true, pak, "readme.txt", false, &data));
        EXPECT_FALSE(ReplaceOneFile({.bigEndian = true, .archivePath = pak, .filePath = dir / "src/readme.txt", .key = "readme.txt", .convertLoc = false}).ok);
        int32_t count = -1;
        EXPECT_FALSE(Replaced(ReplaceFromDirectory({.bigEndian = true, .archivePath = pak, .sourceDir = dir / "src", .convertLoc = false}), count));
        EXPECT_EQ(count, 0);
        ExpectUntouched(pak, snapshot);
    }
}

TEST(ReplaceEntryData, ChangedDirectoryLengthMovesTheDataAreaAndStillReads) {
    // Many equal records: shifting their offsets changes how well the directory compresses.
    TestFolder small;
    for (int i = 0; i < 300; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%03d", i);
        small.files.push_back({name, Bytes("x")});
    }
    // Find, with the independent writer, a first file that makes the compressed directory
    // longer; replacing it back makes it shorter again.
    TestFolder large = small;
    for (uint32_t length = 1; length < 64; ++length) {
        large.files[0].content = RandomBytes(length, length);
        if (ProbeHeaderSize(EncodedArchive(large)) != ProbeHeaderSize(EncodedArchive(small))) break;
    }
    const int32_t smallHeader = ProbeHeaderSize(EncodedArchive(small));
    const int32_t largeHeader = ProbeHeaderSize(EncodedArchive(large));
    ASSERT_NE(smallHeader, largeHeader);

    const struct {
        const TestFolder& from;
        const TestFolder& to;
    } directions[] = {{small, large}, {large, small}};
    for (const auto& d : directions) {
        TempDir dir;
        const std::string pak = dir / "data.pak";
        WriteTestArchive(pak, d.from);
        const int32_t headerBefore = ProbeHeaderSize(ReadFileBytes(pak));
        ASSERT_TRUE(ReplaceRaw(pak, "f000", d.to.files[0].content));
        const TArrayOfByte bytes = ReadFileBytes(pak);
        EXPECT_NE(ProbeHeaderSize(bytes), headerBefore);
        EXPECT_EQ(bytes, EncodedArchive(d.to));
        ExpectArchiveHoldsTree(pak, d.to);
        ExpectContiguousLayout(pak);
    }
}

// ---- archives the builder does not write -------------------------------------------------

namespace {

struct ForeignRecord {
    std::string name;
    int32_t dataOffset;
    int32_t packedSize;
    int32_t unpackedSize;
};

// A root holding only files, with records as given over the given data area.
void WriteForeignArchive(const std::string& path, const std::vector<ForeignRecord>& records,
                         const TArrayOfByte& data) {
    TArrayOfByte directory;
    PutInt(directory, false, 0);
    PutInt(directory, false, static_cast<int32_t>(records.size()));
    for (const ForeignRecord& r : records) {
        PutName(directory, false, r.name);
        PutInt(directory, false, r.dataOffset);
        PutInt(directory, false, r.packedSize);
        PutInt(directory, false, r.unpackedSize);
    }
    WriteFile(path, ArchiveBytes(directory, data, false));
}

}  // namespace

TEST(ReplaceEntryData, EntriesSharingTheTargetsOffsetMakeItRefuse) {
    TempDir dir;
    const std::string pak = dir / "shared.pak";
    const TArrayOfByte plain = Bytes("shared content");
    const TArrayOfByte stream = CompressBytes(plain.data(), static_cast<int32_t>(plain.size()));
    const int32_t n = static_cast<int32_t>(stream.size());
    TArrayOfByte data = stream;
    data.insert(data.end(), stream.begin(), stream.end());
    WriteForeignArchive(pak, {{"a", 0, n, 14}, {"b", 0, n, 14}, {"c", n, n, 14}}, data);
    const Snapshot snapshot = TakeSnapshot(pak);

    EXPECT_FALSE(ReplaceRaw(pak, "a", Bytes("other")));
    EXPECT_FALSE(ReplaceRaw(pak, "b", Bytes("other")));
    ExpectUntouched(pak, snapshot);

    // The entry that shares nothing is replaced, and the others keep their offset.
    ASSERT_TRUE(ReplaceRaw(pak, "c", Bytes("other")));
    const auto after = ProbeEntries(pak);
    const TArrayOfByte bytes = ReadFileBytes(pak);
    EXPECT_EQ(ProbeContent(bytes, after[0]), plain);
    EXPECT_EQ(ProbeContent(bytes, after[1]), plain);
    EXPECT_EQ(ProbeContent(bytes, after[2]), Bytes("other"));
}

TEST(ReplaceEntryData, StreamsOverlappingTheTargetMakeItRefuse) {
    TempDir dir;
    const std::string pak = dir / "overlap.pak";
    const TArrayOfByte plain = Bytes("overlapping content");
    const TArrayOfByte stream = CompressBytes(plain.data(), static_cast<int32_t>(plain.size()));
    const int32_t n = static_cast<int32_t>(stream.size());
    WriteForeignArchive(pak, {{"a", 0, n, 19}, {"b", 2, n - 2, 1}}, stream);
    const Snapshot snapshot = TakeSnapshot(pak);
    EXPECT_FALSE(ReplaceRaw(pak, "a", Bytes("other")));
    EXPECT_FALSE(ReplaceRaw(pak, "b", Bytes("other")));
    ExpectUntouched(pak, snapshot);
}

TEST(ReplaceEntryData, TargetStreamPastTheEndOfTheFileIsRefused) {
    TempDir dir;
    const std::string pak = dir / "short.pak";
    const TArrayOfByte plain = Bytes("short");
    const TArrayOfByte stream = CompressBytes(plain.data(), static_cast<int32_t>(plain.size()));
    const int32_t n = static_cast<int32_t>(stream.size());
    WriteForeignArchive(pak, {{"a", 0, n, 5}, {"b", n, 1000, 5}}, stream);
    const Snapshot snapshot = TakeSnapshot(pak);
    EXPECT_FALSE(ReplaceRaw(pak, "b", Bytes("other")));
    ExpectUntouched(pak, snapshot);
}

TEST(ReplaceEntryData, WhatIsRefusedIsToldNamingTheEntryAsTheUserWritesIt) {
    TempDir dir;
    const TArrayOfByte plain = Bytes("overlapping content");
    const TArrayOfByte stream = CompressBytes(plain.data(), static_cast<int32_t>(plain.size()));
    const int32_t n = static_cast<int32_t>(stream.size());
    WriteForeignArchive(dir / "overlap.pak", {{"d\\a", 0, n, 19}, {"d\\b", 2, n - 2, 1}}, stream);
    WriteForeignArchive(dir / "short.pak", {{"a", 0, n, 19}, {"d\\b", n, 1000, 5}}, stream);
    const struct {
        std::string archive, key, text;
    } cases[] = {
        {dir / "overlap.pak", "d\\a",
         "cannot replace \"d/a\": its stream shares bytes with another file's, which replacing it would damage"},
        {dir / "short.pak", "d\\b", "cannot replace \"d/b\": its stream runs past the end of the archive"},
        {dir / "short.pak", "d\\c", "cannot replace \"d/c\": the archive holds no such file"},
    };
    const TArrayOfByte content = Bytes("other");
    for (const auto& c : cases) {
        TReplacementData data{1, content.data(), 5, 5, 0};
        TNotices notices;
        EXPECT_FALSE(ReplaceEntryData(false, c.archive, c.key, false, &data, &notices));
        ASSERT_EQ(notices.size(), 1u) << c.text;
        EXPECT_EQ(notices[0].text, c.text);
    }
}

TEST(ReplaceEntryData, AnInputOutputErrorLeavesNoFileOpen) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SampleTree());
    const std::string target = fs::canonical(pak).string();
    const auto limit = static_cast<rlim_t>(fs::file_size(pak) + 16);

    // The child may not grow files past the limit, so making room for a longer stream fails.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit rl{};
        getrlimit(RLIMIT_FSIZE, &rl);
        rl.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &rl);
        try {
            ReplaceRaw(pak, "readme.txt", RandomBytes(4000, 3));
            _exit(10);  // no error was raised
        } catch (const EInOutError&) {
        }
        DIR* fds = opendir("/proc/self/fd");
        bool stillOpen = false;
        while (const dirent* e = readdir(fds)) {
            std::error_code ec;
            const fs::path link = fs::read_symlink(fs::path("/proc/self/fd") / e->d_name, ec);
            stillOpen = stillOpen || (!ec && link.string() == target);
        }
        closedir(fds);
        _exit(stillOpen ? 11 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// ---- one file from disk -------------------------------------------------------------------

TEST(ReplaceOneFile, ReadsTheFileAndReplacesTheEntry) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SampleTree();
    WriteTestArchive(pak, tree);
    WriteFile(dir / "new.txt", "brand new outro");
    ASSERT_TRUE(ReplaceOneFile({.archivePath = pak, .filePath = dir / "new.txt", .key = "scripts\\outro.txt"}).ok);
    FindTestFile(tree, "scripts\\outro.txt")->content = Bytes("brand new outro");
    EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
}

TEST(ReplaceOneFile, TheResultCountsTheEntryReplaced) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SampleTree());
    WriteFile(dir / "new.txt", "new");
    const TReplaceResult replaced =
        ReplaceOneFile({.archivePath = pak, .filePath = dir / "new.txt", .key = "readme.txt"});
    EXPECT_TRUE(replaced.ok);
    EXPECT_EQ(replaced.replacedCount, 1);
    const TReplaceResult missing = ReplaceOneFile({.archivePath = pak, .filePath = dir / "new.txt", .key = "nothere"});
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.replacedCount, 0);
}

TEST(ReplaceOneFile, MissingFileGivesFalseUntouched) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SampleTree());
    const Snapshot snapshot = TakeSnapshot(pak);
    EXPECT_FALSE(ReplaceOneFile({.archivePath = pak, .filePath = dir / "missing.txt", .key = "readme.txt", .convertLoc = false}).ok);
    EXPECT_FALSE(ReplaceOneFile({.archivePath = pak, .filePath = dir.Path(), .key = "readme.txt", .convertLoc = false}).ok);
    ExpectUntouched(pak, snapshot);
}

TEST(ReplaceOneFile, AFileTooLargeToStoreIsRefusedBeforeItIsRead) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SampleTree());
    const Snapshot snapshot = TakeSnapshot(pak);
    WriteFile(dir / "huge.txt", "");
    fs::resize_file(dir / "huge.txt", uintmax_t{1} << 31);  // sparse: costs no disk
    ResetLargestAllocation();
    TNotices notices;
    EXPECT_FALSE(ReplaceOneFile({.archivePath = pak, .filePath = dir / "huge.txt", .key = "readme.txt", .convertLoc = false, .notices = &notices}).ok);
    EXPECT_LT(LargestAllocation(), kLargeAllocation);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].path, dir / "huge.txt");
    ExpectUntouched(pak, snapshot);
}

TEST(ReplaceOneFile, LocTextIsConvertedOnlyWhenAsked) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree;
    tree.folders.push_back({"text", {}, {{"menu.loc", Bytes("placeholder")}}});
    WriteTestArchive(pak, tree);
    const std::string text = dir / "menu.LOC";
    WriteFile(text, "Start\r\nQuit\r\n");
    TArrayOfByte table;
    ASSERT_TRUE(TextToLoc(false, text, table));
    ASSERT_NE(table, Bytes("Start\r\nQuit\r\n"));

    ASSERT_TRUE(ReplaceOneFile({.archivePath = pak, .filePath = text, .key = "text\\menu.loc"}).ok);
    auto entries = ProbeEntries(pak);
    EXPECT_EQ(ProbeContent(ReadFileBytes(pak), entries[0]), table);

    ASSERT_TRUE(ReplaceOneFile({.archivePath = pak, .filePath = text, .key = "text\\menu.loc", .convertLoc = false}).ok);
    entries = ProbeEntries(pak);
    EXPECT_EQ(ProbeContent(ReadFileBytes(pak), entries[0]), Bytes("Start\r\nQuit\r\n"));
}

// ---- a whole directory ---------------------------------------------------------------------

namespace {

// Files written below src (path, content), what ReplaceFromDirectory gives, and the entries
// that get new content (archive path, content).
struct DirectoryCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    bool result;
    int32_t count;
    std::vector<std::string> refused;  // the files told in notices, below src
    std::vector<std::pair<std::string, std::string>> replaced;
};

class ReplacedFromDirectory : public ::testing::TestWithParam<DirectoryCase> {};

}  // namespace

TEST_P(ReplacedFromDirectory, CountsTheEntriesReplacedAndTellsTheFilesNotUsed) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SampleTree();
    WriteTestArchive(pak, tree);
    for (const auto& [path, content] : GetParam().files) WriteFile(dir / ("src/" + path), content);

    int32_t count = -1;
    TNotices notices;
    EXPECT_EQ(Replaced(ReplaceFromDirectory({.archivePath = pak, .sourceDir = dir / "src", .convertLoc = false, .notices = &notices}), count),
              GetParam().result);
    EXPECT_EQ(count, GetParam().count);
    std::vector<std::string> told;
    for (const TNotice& notice : notices) told.push_back(notice.path);
    std::vector<std::string> refused;
    for (const std::string& path : GetParam().refused) refused.push_back(dir / ("src/" + path));
    EXPECT_EQ(told, refused);
    for (const auto& [path, content] : GetParam().replaced) FindTestFile(tree, path)->content = Bytes(content);
    EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplacedFromDirectory,
    ::testing::Values(
        DirectoryCase{"EveryFileWithACounterpart",
                      {{"data/deep/x.txt", "new deep"}, {"scripts/INTRO.txt", "new intro"}, {"readme.txt", "new readme"}},
                      true,
                      3,
                      {},
                      {{"data\\deep\\x.txt", "new deep"}, {"scripts\\intro.txt", "new intro"}, {"readme.txt", "new readme"}}},
        DirectoryCase{"AFileWithoutAnEntryIsSkipped",
                      {{"scripts/outro.txt", "new outro"}, {"scripts/extra.txt", "not in the archive"}, {"z.bin", "new z"}},
                      false,
                      2,
                      {"scripts/extra.txt"},
                      {{"scripts\\outro.txt", "new outro"}, {"z.bin", "new z"}}},
        DirectoryCase{"OfTwoFilesForOneEntryOnlyTheFirstIsUsed",
                      {{"scripts/intro.txt", "lower"}, {"SCRIPTS/intro.txt", "upper"}, {"readme.txt", "new readme"}},
                      false,
                      2,
                      {"scripts/intro.txt"},
                      {{"scripts\\intro.txt", "upper"}, {"readme.txt", "new readme"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplaceFromDirectory, ByTagAFileWithoutATagFailsAlone) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SampleTree();
    WriteTestArchive(pak, tree);
    // The folders on disk need not match the archive's: the tag alone finds the entry.
    WriteFile(dir / "src/elsewhere/intro.[" + TagTextOf("scripts\\intro.txt") + "].txt", "tagged intro");
    WriteFile(dir / "src/b.[" + TagTextOf("data\\b.txt") + "].txt", "tagged b");
    WriteFile(dir / "src/readme.txt", "untagged");

    int32_t count = -1;
    EXPECT_FALSE(Replaced(ReplaceFromDirectory({.archivePath = pak, .sourceDir = dir / "src", .matchByTag = true, .convertLoc = false}), count));
    EXPECT_EQ(count, 2);
    FindTestFile(tree, "scripts\\intro.txt")->content = Bytes("tagged intro");
    FindTestFile(tree, "data\\b.txt")->content = Bytes("tagged b");
    EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
}

TEST(ReplaceFromDirectory, EmptyTreeGivesTrueWithCountZero) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SampleTree());
    fs::create_directories(dir / "src/empty/inner");
    const Snapshot snapshot = TakeSnapshot(pak);
    int32_t count = -1;
    EXPECT_TRUE(Replaced(ReplaceFromDirectory({.archivePath = pak, .sourceDir = dir / "src", .convertLoc = false}), count));
    EXPECT_EQ(count, 0);
    ExpectUntouched(pak, snapshot);
}

TEST(ReplaceFromDirectory, MissingArchiveOrDirectoryGivesFalse) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SampleTree());
    WriteFile(dir / "src/readme.txt", "x");
    int32_t count = -1;
    EXPECT_FALSE(Replaced(ReplaceFromDirectory({.archivePath = "", .sourceDir = dir / "src", .convertLoc = false}), count));
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(Replaced(ReplaceFromDirectory({.archivePath = dir / "missing.pak", .sourceDir = dir / "src", .convertLoc = false}), count));
    EXPECT_FALSE(Replaced(ReplaceFromDirectory({.archivePath = pak, .sourceDir = dir / "nowhere", .convertLoc = false}), count));
    EXPECT_FALSE(Replaced(ReplaceFromDirectory({.archivePath = pak, .sourceDir = dir / "src/readme.txt", .convertLoc = false}), count));
    EXPECT_EQ(count, 0);
}

TEST(ReplaceFromDirectory, EmptySourcePathMeansTheCurrentDirectory) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SampleTree();
    WriteTestArchive(pak, tree);
    WriteFile(dir / "src/scripts/outro.txt", "from the current directory");

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (chdir((dir / "src").c_str()) != 0) _exit(20);
        int32_t count = 0;
        const bool ok = Replaced(ReplaceFromDirectory({.archivePath = pak, .sourceDir = "", .convertLoc = false}), count);
        _exit(ok && count == 1 ? 0 : 21);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    FindTestFile(tree, "scripts\\outro.txt")->content = Bytes("from the current directory");
    EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
}

TEST(ReplaceFromDirectory, TheArchiveInsideTheSourceTreeIsLeftOut) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree = SampleTree();
    WriteTestArchive(pak, tree);
    WriteFile(dir / "readme.txt", "beside the archive");

    int32_t count = -1;
    EXPECT_TRUE(Replaced(ReplaceFromDirectory({.archivePath = pak, .sourceDir = dir.Path(), .convertLoc = false}), count));
    EXPECT_EQ(count, 1);
    FindTestFile(tree, "readme.txt")->content = Bytes("beside the archive");
    EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
}

TEST(ReplaceFromDirectory, ReportsPreparingThenEveryFileWithItsPosition) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SampleTree());
    WriteFile(dir / "src/readme.txt", "one");
    WriteFile(dir / "src/unknown.txt", "two");
    WriteFile(dir / "src/data/b.txt", "three");

    TReports reports;
    const ProgressProc progress = RecordFileReports(reports);
    int32_t count = 0;
    EXPECT_FALSE(Replaced(ReplaceFromDirectory({.archivePath = pak, .sourceDir = dir / "src", .convertLoc = false, .progress = progress}), count));
    EXPECT_EQ(count, 2);

    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[0], (TReport{0, 0, "preparing..."}));
    std::set<std::string> texts;
    for (int64_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(reports[i].done, i);
        EXPECT_EQ(reports[i].total, 3);
        texts.insert(reports[i].text);
    }
    EXPECT_EQ(texts, (std::set<std::string>{"readme.txt", "unknown.txt", "data\\b.txt"}));
}

TEST(ReplaceFromDirectory, FileWhoseContentCannotBeObtainedFails) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    WriteTestArchive(pak, SampleTree());
    WriteFile(dir / "src/z.bin", "new z");
    ASSERT_EQ(mkfifo((dir / "src/readme.txt").c_str(), 0644), 0);
    int32_t count = -1;
    EXPECT_FALSE(Replaced(ReplaceFromDirectory({.archivePath = pak, .sourceDir = dir / "src", .convertLoc = false}), count));
    EXPECT_EQ(count, 1);
}

TEST(ReplaceFromDirectory, TheBuildersOwnSourceTreeLeavesItsArchiveByteForByte) {
    TempDir dir;
    WriteFile(dir / "src/Text/menu.loc", "Start\r\nQuit\r\n");
    WriteFile(dir / "src/text2/b.dat", RandomBytes(3000, 4));
    WriteFile(dir / "src/a.txt", "alpha alpha alpha");
    WriteFile(dir / "src/empty.txt", "");
    const std::string pak = dir / "src/built.pak";
    int32_t folders = 0;
    int32_t files = 0;
    ASSERT_TRUE(Made(MakeArchive({.sourceDir = dir / "src", .archivePath = pak}), folders, files));
    const TArrayOfByte built = ReadFileBytes(pak);

    const TReplaceResult result = ReplaceFromDirectory({.archivePath = pak, .sourceDir = dir / "src"});
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.replacedCount, 0);
    EXPECT_EQ(result.unchangedCount, 4);
    EXPECT_EQ(ReadFileBytes(pak), built);
}

// ---- many replacements ---------------------------------------------------------------------

TEST(ReplaceEntryData, LongRandomSequenceKeepsEveryEntryReadable) {
    TempDir dir;
    const std::string pak = dir / "data.pak";
    TestFolder tree;
    std::mt19937 rng(20240601);
    for (int f = 0; f < 4; ++f) {
        TestFolder folder{"folder" + std::to_string(f), {}, {}};
        folder.folders.push_back({"inner", {}, {{"deep.bin", RandomBytes(50, f)}}});
        for (int k = 0; k < 8; ++k)
            folder.files.push_back({"file" + std::to_string(k) + ".dat", RepeatedText("abc", 10 + k)});
        tree.folders.push_back(folder);
    }
    tree.files.push_back({"root.txt", Bytes("root")});
    WriteTestArchive(pak, tree);
    std::vector<std::string> paths;
    for (const auto& [path, content] : TreeFiles(tree)) paths.push_back(path);

    for (int step = 0; step < 300; ++step) {
        const std::string& path = paths[rng() % paths.size()];
        TArrayOfByte content;
        switch (rng() % 4) {
            case 0: break;  // empty
            case 1: content = RandomBytes(rng() % 6000, rng()); break;
            case 2: content = RepeatedText("la ", rng() % 3000); break;
            default: content = RandomBytes(rng() % 40, rng()); break;
        }
        ASSERT_TRUE(ReplaceRaw(pak, path, content)) << "step " << step << " " << path;
        FindTestFile(tree, path)->content = content;
        if (step % 50 == 49) ExpectContiguousLayout(pak);
    }
    ExpectArchiveHoldsTree(pak, tree);
    ExpectContiguousLayout(pak);
    EXPECT_EQ(ReadFileBytes(pak), EncodedArchive(tree));
}

// ---- finding and collecting ----------------------------------------------------------------

namespace {

// The archive paths of the collected files, in their order.
TStringList FilePaths(const TSourceTree& tree) {
    TStringList paths;
    for (const TSourceFile& file : tree.files) paths.push_back(ArchivePathOf(file));
    return paths;
}

// The archive paths of every folder of the collected tree, the root left out.
TStringList FolderPaths(const TSourceTree& tree) {
    TStringList paths;
    for (size_t k = 1; k < tree.listed.folders.size(); ++k) {
        std::string path = tree.listed.ArchiveFolderPath(k);
        path.pop_back();
        paths.push_back(path);
    }
    return paths;
}

}  // namespace


TEST(CollectFiles, ListsEveryFolderAndFileRelativeToTheDirectory) {
    TempDir dir;
    WriteFile(dir / "top/a/b/c.txt", "c");
    WriteFile(dir / "top/.hidden", "h");
    WriteFile(dir / "top/x.txt", "x");
    fs::create_directories(dir / "top/empty");

    TSourceTree tree;
    ASSERT_TRUE(CollectFiles(dir / "top", tree));
    const TStringList folders = FolderPaths(tree);
    EXPECT_EQ(std::set<std::string>(folders.begin(), folders.end()),
              (std::set<std::string>{"a", "a\\b", "empty"}));
    const TStringList files = FilePaths(tree);
    EXPECT_EQ(std::set<std::string>(files.begin(), files.end()),
              (std::set<std::string>{"a\\b\\c.txt", ".hidden", "x.txt"}));
    EXPECT_EQ(HostPathOf(tree.files[0]), dir / "top/a/b/c.txt");
    EXPECT_TRUE(tree.refused.empty());
    // Depth first: a folder comes before its sub-folders.
    EXPECT_LT(std::find(folders.begin(), folders.end(), "a"), std::find(folders.begin(), folders.end(), "a\\b"));

    TSourceTree withSlash;
    ASSERT_TRUE(CollectFiles(dir / "top/", withSlash));
    EXPECT_EQ(withSlash.files.size(), 3u);
    EXPECT_FALSE(CollectFiles(dir / "missing", tree));
    EXPECT_FALSE(CollectFiles(dir / "top/x.txt", tree));
}

TEST(CollectFiles, FilesComeInTheOrderMakeStoresThemWhateverOrderTheyWereMadeIn) {
    const TStringList names{"b.txt", "c/x.txt", "A/z.txt", "B.txt", "a/y.txt", "a/deeper/w.txt"};
    const TStringList sorted{"A\\z.txt", "a\\deeper\\w.txt", "a\\y.txt", "c\\x.txt", "B.txt", "b.txt"};
    for (const bool reversed : {false, true}) {
        TempDir dir;
        TStringList order = names;
        if (reversed) std::reverse(order.begin(), order.end());
        for (const std::string& name : order) WriteFile(dir / ("top/" + name), name);
        TSourceTree tree;
        ASSERT_TRUE(CollectFiles(dir / "top", tree));
        EXPECT_EQ(FilePaths(tree), sorted) << reversed;
    }
}

TEST(CollectFiles, LinkBackToAnAncestorIsNotEnteredAgain) {
    TempDir dir;
    WriteFile(dir / "top/a/file.txt", "f");
    fs::create_directory_symlink(dir / "top", dir / "top/a/loop");
    TSourceTree tree;
    ASSERT_TRUE(CollectFiles(dir / "top", tree));
    EXPECT_EQ(FilePaths(tree), TStringList{"a\\file.txt"});
    const TStringList folders = FolderPaths(tree);
    EXPECT_EQ(std::set<std::string>(folders.begin(), folders.end()), (std::set<std::string>{"a", "a\\loop"}));
}
