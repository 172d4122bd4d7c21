// What an update's journal holds: the header with the directory and the bytes from the
// replaced stream on, never the untouched front of the data area.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "engine/internal/archive_update.h"
#include "engine/internal/replace_batch.h"
#include "engine/replace_batch.h"
#include "engine/internal/update_journal.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "hooks/host_test_hooks.h"
#include "support/errors.h"

namespace fs = std::filesystem;

namespace {

// Besides the saved bytes, a journal holds its header and the seal, the record heads, and
// the STATE record of the pass: its tag, four fields and 256 samples of 10 bytes.
constexpr int64_t kBookkeeping = 200 + 8 + 24 + 256 * 10;

// Ten streams of 30 to 100 KB, of lengths as irregular as real ones.
TestFolder TenFiles() {
    TestFolder root;
    for (int i = 0; i < 10; ++i) {
        const size_t length = 30000 + (static_cast<size_t>(i) * 7919 * 13) % 70000;
        root.files.push_back({"f" + std::to_string(i), RandomBytes(length, static_cast<uint32_t>(i))});
    }
    return root;
}

bool Replace(const std::string& archive, const std::string& key, const TArrayOfByte& content) {
    TReplacementData data;
    data.Valid = 1;
    data.Data = content.data();
    data.UnpackedSize = static_cast<int32_t>(content.size());
    data.DataSize = static_cast<int32_t>(content.size());
    return ReplaceEntryData(false, archive, key, false, &data);
}

// Runs the replacement with the journal's removal failing for good, so that the journal
// stays behind to be measured; then lets the next open put things right.
int64_t JournalSizeOf(const std::string& archive, const std::string& key, const TArrayOfByte& content) {
    host::hooks::FailNth(host::hooks::Operation::Remove, 1, EIO, true);
    EXPECT_THROW(Replace(archive, key, content), EInOutError);
    host::hooks::ClearFaults();
    const int64_t size = static_cast<int64_t>(fs::file_size(JournalPathOf(archive)));
    EXPECT_EQ(RecoverArchive(archive), TRecovery::RolledBack);
    return size;
}

// The same on a disk stated to have space bytes free, for an update that fails only at the
// journal's removal.
template <typename Update>
int64_t JournalSizeOnANearlyFullDisk(const std::string& archive, int64_t space, Update update) {
    const host::hooks::StatedSpace nearlyFull(space);
    host::hooks::FailNth(host::hooks::Operation::Remove, 1, EIO, true);
    EXPECT_THROW(update(), EInOutError);
    host::hooks::ClearFaults();
    return static_cast<int64_t>(fs::file_size(JournalPathOf(archive)));
}

}  // namespace

TEST(UpdateJournalSize, StreamOfTheSameLengthSavesOnlyTheHeaderAndThatStream) {
    TempDir dir;
    const std::string archive = dir / "data.pak";
    WriteTestArchive(archive, TenFiles());
    const TArrayOfByte before = ReadFileBytes(archive);
    const std::vector<ProbedEntry> entries = ProbeEntries(archive);
    const int64_t header = ProbeHeaderSize(before);

    const int64_t size = JournalSizeOf(archive, "f2", RandomBytes(entries[2].unpackedSize, 99));
    EXPECT_GE(size, header + entries[2].packedSize);
    EXPECT_LT(size, header + entries[2].packedSize + kBookkeeping);
    EXPECT_EQ(ReadFileBytes(archive), before);
}

TEST(UpdateJournalSize, LongerStreamNearTheEndSavesTheHeaderAndTheTailOnly) {
    TempDir dir;
    const std::string archive = dir / "data.pak";
    WriteTestArchive(archive, TenFiles());
    const TArrayOfByte before = ReadFileBytes(archive);
    const std::vector<ProbedEntry> entries = ProbeEntries(archive);
    const int64_t header = ProbeHeaderSize(before);

    // A growth after which the compressed directory keeps its length: whole multiples of
    // 256 change fewest bytes of the directory.
    TArrayOfByte longer;
    for (size_t growth = 256; growth < 256 * 64 && longer.empty(); growth += 256) {
        TempDir trial;
        WriteFile(trial / "data.pak", before);
        const TArrayOfByte candidate = RandomBytes(entries[8].unpackedSize + growth, 98);
        ASSERT_TRUE(Replace(trial / "data.pak", "f8", candidate));
        if (ProbeHeaderSize(ReadFileBytes(trial / "data.pak")) == header) longer = candidate;
    }
    ASSERT_FALSE(longer.empty());

    const int64_t tail = static_cast<int64_t>(before.size()) - entries[8].absOffset;
    const int64_t size = JournalSizeOf(archive, "f8", longer);
    EXPECT_GE(size, header + tail);
    EXPECT_LT(size, header + tail + kBookkeeping);
    EXPECT_EQ(ReadFileBytes(archive), before);
}

TEST(UpdateJournalSize, DirectoryOfAnotherLengthMovesTheDataAreaAndSavesAllOfIt) {
    TempDir dir;
    const std::string archive = dir / "data.pak";
    WriteTestArchive(archive, TenFiles());
    const TArrayOfByte before = ReadFileBytes(archive);
    const int64_t header = ProbeHeaderSize(before);

    TArrayOfByte longer;
    for (size_t growth = 100; growth < 400 && longer.empty(); ++growth) {
        TempDir trial;
        WriteFile(trial / "data.pak", before);
        const TArrayOfByte candidate = RandomBytes(ProbeEntries(archive)[8].unpackedSize + growth, 97);
        ASSERT_TRUE(Replace(trial / "data.pak", "f8", candidate));
        if (ProbeHeaderSize(ReadFileBytes(trial / "data.pak")) != header) longer = candidate;
    }
    ASSERT_FALSE(longer.empty());

    const int64_t size = JournalSizeOf(archive, "f8", longer);
    EXPECT_GE(size, static_cast<int64_t>(before.size()));
    EXPECT_LT(size, static_cast<int64_t>(before.size()) + kBookkeeping);
    EXPECT_EQ(ReadFileBytes(archive), before);
}

// On a disk whose free space is a fifth of the archive, a pass that moves the whole data
// area cannot save it: the journal holds the plan (the new header, the new stream) and two
// pieces, within the free space, and whoever finds it finishes the update.
TEST(UpdateJournalSize, PassLargerThanTheRoomRollsForwardWithAJournalOfItsPlanAndTwoPieces) {
    TempDir dir;
    const std::string archive = dir / "data.pak";
    WriteTestArchive(archive, TenFiles());
    const TArrayOfByte before = ReadFileBytes(archive);
    const TArrayOfByte content = RandomBytes(ProbeEntries(archive)[0].unpackedSize + 3000, 96);
    TempDir plain;
    WriteFile(plain / "data.pak", before);
    ASSERT_TRUE(Replace(plain / "data.pak", "f0", content));
    const TArrayOfByte after = ReadFileBytes(plain / "data.pak");
    ASSERT_NE(ProbeHeaderSize(after), ProbeHeaderSize(before)) << "the data area does not move";

    const int64_t space = static_cast<int64_t>(before.size()) / 5;
    const int64_t size = JournalSizeOnANearlyFullDisk(archive, space, [&] { return Replace(archive, "f0", content); });
    const int64_t plan = ProbeHeaderSize(after) + ProbeEntries(plain / "data.pak")[0].packedSize;
    EXPECT_GT(size, plan);
    EXPECT_LE(size, space);
    EXPECT_EQ(RecoverArchive(archive), TRecovery::RolledForward);
    EXPECT_EQ(ReadFileBytes(archive), after);
}

// A replace-dir bringing more new streams than it holds in memory (here, any) parks them in
// the journal and still makes one pass, which rolls forward: the journal holds the streams,
// the header and two pieces, never the data area that passes of their own would each save.
TEST(UpdateJournalSize, NewStreamsBeyondMemoryAreParkedAndTheDataAreaStillMovesInOnePass) {
    TempDir dir;
    const std::string archive = dir / "data.pak";
    WriteTestArchive(archive, TenFiles());
    const TArrayOfByte before = ReadFileBytes(archive);
    const std::vector<ProbedEntry> entries = ProbeEntries(archive);
    for (size_t i = 0; i < 3; ++i)
        WriteFile(dir / ("src/f" + std::to_string(i)),
                  RandomBytes(static_cast<size_t>(entries[i].unpackedSize) + 3000, 97 + static_cast<uint32_t>(i)));
    TempDir plain;
    WriteFile(plain / "data.pak", before);
    int32_t count = 0;
    ASSERT_TRUE(ReplaceFromDirectory(false, plain / "data.pak", dir / "src", false, false, nullptr, count));
    const TArrayOfByte after = ReadFileBytes(plain / "data.pak");

    const int64_t space = static_cast<int64_t>(before.size()) / 5;
    const int64_t size = JournalSizeOnANearlyFullDisk(archive, space, [&] {
        return ReplaceFromDirectoryHolding(false, archive, dir / "src", false, false, nullptr, count, 0);
    });
    int64_t streams = 0;
    for (size_t i = 0; i < 3; ++i) streams += ProbeEntries(plain / "data.pak")[i].packedSize;
    EXPECT_LE(size, streams + ProbeHeaderSize(after) + space);
    EXPECT_EQ(RecoverArchive(archive), TRecovery::RolledForward);
    EXPECT_EQ(ReadFileBytes(archive), after);
}
