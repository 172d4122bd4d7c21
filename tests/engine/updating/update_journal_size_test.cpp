// What an update's journal holds: the header with the directory and the bytes from the
// replaced stream on, never the untouched front of the data area.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>

#include "engine/updating/internal/archive_update.h"
#include "engine/updating/internal/forward_pass.h"
#include "engine/updating/internal/journal_recovery.h"
#include "engine/reading/internal/opened_archive.h"
#include "engine/updating/internal/replace_batch.h"
#include "engine/updating/replace_batch.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "hooks/host_test_hooks.h"
#include "support/errors.h"
#include "helpers/operation_results.h"

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

// The ten files' archive as every test starts from it.
struct TenFilesArchive {
    TempDir dir;
    std::string archive = dir / "data.pak";
    TArrayOfByte before;
    std::vector<ProbedEntry> entries;

    TenFilesArchive() {
        WriteTestArchive(archive, TenFiles());
        before = ReadFileBytes(archive);
        entries = ProbeEntries(archive);
    }

    // The archive that update leaves on a copy of the archive on a roomy disk, and its
    // entries; update takes the copy's path.
    template <typename Update>
    TArrayOfByte AfterOnARoomyDisk(Update update, std::vector<ProbedEntry>& entriesAfter) const {
        TempDir plain;
        WriteFile(plain / "data.pak", before);
        EXPECT_TRUE(update(plain / "data.pak"));
        entriesAfter = ProbeEntries(plain / "data.pak");
        return ReadFileBytes(plain / "data.pak");
    }
};

}  // namespace

TEST(UpdateJournalSize, StreamOfTheSameLengthSavesOnlyTheHeaderAndThatStream) {
    const TenFilesArchive a;
    const int64_t header = ProbeHeaderSize(a.before);

    const int64_t size = JournalSizeOf(a.archive, "f2", RandomBytes(a.entries[2].unpackedSize, 99));
    EXPECT_GE(size, header + a.entries[2].packedSize);
    EXPECT_LT(size, header + a.entries[2].packedSize + kBookkeeping);
    EXPECT_EQ(ReadFileBytes(a.archive), a.before);
}

TEST(UpdateJournalSize, LongerStreamNearTheEndSavesTheHeaderAndTheTailOnly) {
    const TenFilesArchive a;
    const int64_t header = ProbeHeaderSize(a.before);

    // A growth after which the compressed directory keeps its length: whole multiples of
    // 256 change fewest bytes of the directory.
    TArrayOfByte longer;
    for (size_t growth = 256; growth < 256 * 64 && longer.empty(); growth += 256) {
        TempDir trial;
        WriteFile(trial / "data.pak", a.before);
        const TArrayOfByte candidate = RandomBytes(a.entries[8].unpackedSize + growth, 98);
        ASSERT_TRUE(Replace(trial / "data.pak", "f8", candidate));
        if (ProbeHeaderSize(ReadFileBytes(trial / "data.pak")) == header) longer = candidate;
    }
    ASSERT_FALSE(longer.empty());

    const int64_t tail = static_cast<int64_t>(a.before.size()) - a.entries[8].absOffset;
    const int64_t size = JournalSizeOf(a.archive, "f8", longer);
    EXPECT_GE(size, header + tail);
    EXPECT_LT(size, header + tail + kBookkeeping);
    EXPECT_EQ(ReadFileBytes(a.archive), a.before);
}

TEST(UpdateJournalSize, DirectoryOfAnotherLengthMovesTheDataAreaAndSavesAllOfIt) {
    const TenFilesArchive a;
    const int64_t header = ProbeHeaderSize(a.before);

    TArrayOfByte longer;
    for (size_t growth = 100; growth < 400 && longer.empty(); ++growth) {
        TempDir trial;
        WriteFile(trial / "data.pak", a.before);
        const TArrayOfByte candidate = RandomBytes(a.entries[8].unpackedSize + growth, 97);
        ASSERT_TRUE(Replace(trial / "data.pak", "f8", candidate));
        if (ProbeHeaderSize(ReadFileBytes(trial / "data.pak")) != header) longer = candidate;
    }
    ASSERT_FALSE(longer.empty());

    const int64_t size = JournalSizeOf(a.archive, "f8", longer);
    EXPECT_GE(size, static_cast<int64_t>(a.before.size()));
    EXPECT_LT(size, static_cast<int64_t>(a.before.size()) + kBookkeeping);
    EXPECT_EQ(ReadFileBytes(a.archive), a.before);
}

// On a disk whose free space is a fifth of the archive, a pass that moves the whole data
// area cannot save it: the journal holds the plan (the new header, the new stream) and two
// pieces, within the free space, and whoever finds it finishes the update.
TEST(UpdateJournalSize, PassLargerThanTheRoomRollsForwardWithAJournalOfItsPlanAndTwoPieces) {
    const TenFilesArchive a;
    const TArrayOfByte content = RandomBytes(a.entries[0].unpackedSize + 3000, 96);
    std::vector<ProbedEntry> replaced;
    const TArrayOfByte after =
        a.AfterOnARoomyDisk([&](const std::string& copy) { return Replace(copy, "f0", content); }, replaced);
    ASSERT_NE(ProbeHeaderSize(after), ProbeHeaderSize(a.before)) << "the data area does not move";

    const int64_t space = static_cast<int64_t>(a.before.size()) / 5;
    const int64_t size =
        JournalSizeOnANearlyFullDisk(a.archive, space, [&] { return Replace(a.archive, "f0", content); });
    const int64_t plan = ProbeHeaderSize(after) + replaced[0].packedSize;
    EXPECT_GT(size, plan);
    EXPECT_LE(size, space);
    EXPECT_EQ(RecoverArchive(a.archive), TRecovery::RolledForward);
    EXPECT_EQ(ReadFileBytes(a.archive), after);
}

// A replace-dir bringing more new streams than it holds in memory (here, any) parks them in
// the journal and still makes one pass, which rolls forward: the journal holds the streams,
// the header and two pieces, never the data area that passes of their own would each save.
TEST(UpdateJournalSize, NewStreamsBeyondMemoryAreParkedAndTheDataAreaStillMovesInOnePass) {
    const TenFilesArchive a;
    const std::string source = a.dir / "src";
    for (size_t i = 0; i < 3; ++i)
        WriteFile(source + "/f" + std::to_string(i),
                  RandomBytes(static_cast<size_t>(a.entries[i].unpackedSize) + 3000, 97 + static_cast<uint32_t>(i)));
    int32_t count = 0;
    std::vector<ProbedEntry> replaced;
    const auto replaceDir = [&](const std::string& copy) {
        return Replaced(ReplaceFromDirectory({.archivePath = copy, .sourceDir = source, .convertLoc = false}), count);
    };
    const TArrayOfByte after = a.AfterOnARoomyDisk(replaceDir, replaced);

    const int64_t space = static_cast<int64_t>(a.before.size()) / 5;
    const int64_t size = JournalSizeOnANearlyFullDisk(a.archive, space, [&] {
        return Replaced(ReplaceFromDirectoryHolding({.archivePath = a.archive, .sourceDir = source, .convertLoc = false}, 0), count);
    });
    int64_t streams = 0;
    for (size_t i = 0; i < 3; ++i) streams += replaced[i].packedSize;
    EXPECT_LE(size, streams + ProbeHeaderSize(after) + space);
    EXPECT_EQ(RecoverArchive(a.archive), TRecovery::RolledForward);
    EXPECT_EQ(ReadFileBytes(a.archive), after);
}

namespace {

// The piece length a journal's PLAN record holds, when the plan is its first record.
int64_t PieceLengthInThePlan(const TArrayOfByte& journal) {
    constexpr size_t kPlanAt = 40;                    // behind the journal's header
    constexpr size_t kPieceLengthAt = kPlanAt + 16;   // the tag with its zero bytes, the final size
    EXPECT_EQ(std::string(journal.begin() + kPlanAt, journal.begin() + kPlanAt + 4), "PLAN");
    int64_t length = 0;
    for (size_t i = 0; i < 8; ++i) length |= static_cast<int64_t>(journal[kPieceLengthAt + i]) << (8 * i);
    return length;
}

// Where the journal's one seal ends: the slots begin behind it.
int64_t SealEnd(const TArrayOfByte& journal) {
    const std::string text(journal.begin(), journal.end());
    const size_t seal = text.find(std::string("SEAL\0\0\0\0", 8), 40);
    EXPECT_NE(seal, std::string::npos);
    return static_cast<int64_t>(seal) + 12;
}

}  // namespace

// The journal of a pass that rolls forward holds, besides its plan, two pieces of the moved
// data that together take no more than the room the disk leaves (half of what is free once
// the archive has grown and the plan is written), and not a sector less than a whole number
// of sectors allows; its slots are written nowhere past the end their length gives. Several
// free spaces, so that the room ends at different places of a sector.
TEST(UpdateJournalSize, PiecesOfAPassThatRollsForwardTakeTheRoomTheDiskLeavesToTheSector) {
    const TenFilesArchive a;
    const TArrayOfByte content = RandomBytes(a.entries[0].unpackedSize + 3000, 96);
    std::vector<ProbedEntry> replaced;
    const TArrayOfByte after =
        a.AfterOnARoomyDisk([&](const std::string& copy) { return Replace(copy, "f0", content); }, replaced);
    const int64_t growth = std::max<int64_t>(0, static_cast<int64_t>(after.size() - a.before.size()));
    const int64_t plan = ProbeHeaderSize(after) + replaced[0].packedSize;

    for (const int64_t extra : {int64_t{0}, int64_t{300}, int64_t{700}, int64_t{1023}}) {
        SCOPED_TRACE(extra);
        TempDir copy;
        const std::string archive = copy / "data.pak";
        WriteFile(archive, a.before);
        const int64_t space = static_cast<int64_t>(a.before.size()) / 5 + extra;
        JournalSizeOnANearlyFullDisk(archive, space, [&] { return Replace(archive, "f0", content); });
        const TArrayOfByte journal = ReadFileBytes(JournalPathOf(archive));
        const int64_t room = (space - plan - growth) / 2;
        const int64_t piece = PieceLengthInThePlan(journal);
        EXPECT_EQ(piece % 512, 0);
        EXPECT_LE(2 * piece, room);
        EXPECT_GT(2 * piece + 1024, room);
        EXPECT_LE(static_cast<int64_t>(journal.size()), JournalEndWithSlots(SlotsStart(SealEnd(journal)), piece));
        EXPECT_EQ(RecoverArchive(archive), TRecovery::RolledForward);
        EXPECT_EQ(ReadFileBytes(archive), after);
    }
}
