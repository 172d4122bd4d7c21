#include "engine/updating/internal/journal_state.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "support/host_file.h"

namespace {

// Reads a record back as recovery does: past its 8-byte tag.
bool ReadBack(const std::string& path, const std::vector<uint8_t>& record, TJournalState& state) {
    WriteFile(path, TArrayOfByte(record.begin(), record.end()));
    HostFile file(path, HostFile::Mode::Read);
    file.Seek(8);
    std::vector<uint8_t> body;
    return ReadState(file, file.Size(), state, body);
}

// A record whose fields are set by hand: the sizes, the content kind and the samples' count.
std::vector<uint8_t> RecordWith(uint64_t oldSize, uint64_t newSize, uint32_t content, uint32_t count,
                                const std::vector<uint64_t>& positions) {
    std::vector<uint8_t> bytes{'S', 'T', 'A', 'T', 0, 0, 0, 0};
    auto put = [&](uint64_t value, int width) {
        for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    put(oldSize, 8);
    put(newSize, 8);
    put(content, 4);
    put(count, 4);
    for (const uint64_t position : positions) {
        put(position, 8);
        put(0xABCD, 2);
    }
    return bytes;
}

}  // namespace

TEST(JournalState, SamplesTakeTheHeaderBytesAndSpreadTheRest) {
    const int64_t limit = 10000000;
    const std::vector<int64_t> positions = StateSamplePositions(limit);
    ASSERT_EQ(positions.size(), 256u);
    for (int64_t p = 0; p < 8; ++p) EXPECT_EQ(positions[static_cast<size_t>(p)], p);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(std::adjacent_find(positions.begin(), positions.end()), positions.end());
    EXPECT_LT(positions.back(), limit);
    EXPECT_GT(positions.back(), limit - limit / 100);
}

TEST(JournalState, SmallRangeIsSampledWhole) {
    std::vector<int64_t> all(100);
    for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int64_t>(i);
    EXPECT_EQ(StateSamplePositions(100), all);
    EXPECT_EQ(StateSamplePositions(5), (std::vector<int64_t>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(StateSamplePositions(0).empty());
}

TEST(JournalState, MeasuredStateHoldsEachSampledByteBeforeAndAfterThePass) {
    TempDir dir;
    const TArrayOfByte before = RandomBytes(50000, 1);
    WriteFile(dir / "a", before);
    // Even positions get bytes of their own, odd ones the byte that stood one further on.
    const TPassOutcome outcome{40000, [](int64_t p) {
                                   if (p % 2 == 0) return TByteSource{false, 0, static_cast<uint8_t>(p * 7)};
                                   return TByteSource{true, p + 1, 0};
                               }};
    HostFile archive(dir / "a", HostFile::Mode::Read);
    const TJournalState state = MeasureState(archive, outcome);
    EXPECT_FALSE(state.unknown);
    EXPECT_EQ(state.oldSize, 50000);
    EXPECT_EQ(state.newSize, 40000);
    ASSERT_EQ(state.samples.size(), 256u);
    for (const TStateSample& sample : state.samples) {
        const auto p = static_cast<size_t>(sample.position);
        ASSERT_LT(sample.position, 40000);
        EXPECT_EQ(sample.oldByte, before[p]);
        EXPECT_EQ(sample.newByte, p % 2 == 0 ? static_cast<uint8_t>(p * 7) : before[p + 1]);
    }
}

TEST(JournalState, EncodedStateReadsBackAsItWas) {
    TempDir dir;
    TJournalState state;
    state.oldSize = 3000;
    state.newSize = 2000;
    state.samples = {{0, 1, 2}, {7, 3, 4}, {1999, 5, 6}};
    TJournalState read;
    ASSERT_TRUE(ReadBack(dir / "j", EncodeState(state), read));
    EXPECT_FALSE(read.unknown);
    EXPECT_EQ(read.oldSize, 3000);
    EXPECT_EQ(read.newSize, 2000);
    ASSERT_EQ(read.samples.size(), 3u);
    EXPECT_EQ(read.samples[2].position, 1999);
    EXPECT_EQ(read.samples[2].oldByte, 5);
    EXPECT_EQ(read.samples[2].newByte, 6);

    ASSERT_TRUE(ReadBack(dir / "j", EncodeState(UnknownState()), read));
    EXPECT_TRUE(read.unknown);
    EXPECT_TRUE(read.samples.empty());
}

TEST(JournalState, RecordsNoPassCanHaveAreRefused) {
    TempDir dir;
    TJournalState state;
    EXPECT_TRUE(ReadBack(dir / "j", RecordWith(3000, 2000, 0, 1, {1999}), state));
    EXPECT_FALSE(ReadBack(dir / "j", RecordWith(uint64_t{1} << 62, 2000, 0, 0, {}), state));
    EXPECT_FALSE(ReadBack(dir / "j", RecordWith(3000, 0x80000000u, 0, 0, {}), state));
    EXPECT_FALSE(ReadBack(dir / "j", RecordWith(3000, 2000, 2, 0, {}), state));
    EXPECT_FALSE(ReadBack(dir / "j", RecordWith(3000, 2000, 1, 1, {5}), state));
    EXPECT_FALSE(ReadBack(dir / "j", RecordWith(3000, 2000, 0, 1, {2000}), state));
    EXPECT_FALSE(ReadBack(dir / "j", RecordWith(3000, 2000, 0, 0xFFFFFFFFu, {}), state));
    EXPECT_FALSE(ReadBack(dir / "j", RecordWith(3000, 2000, 0, 2, {1}), state));
}

TEST(JournalState, ArchiveFitsOnlyWithASizeBetweenTheStatesAndTheRestoredOne) {
    TempDir dir;
    WriteFile(dir / "a", RandomBytes(1000, 2));
    HostFile archive(dir / "a", HostFile::Mode::Read);
    TJournalState state;
    for (const auto& [oldSize, newSize, restored, fits] :
         {std::tuple{900, 1100, 900, true}, std::tuple{1100, 1200, 1000, true}, std::tuple{1100, 1200, 1050, false},
          std::tuple{500, 800, 600, false}, std::tuple{500, 800, 1000, true}}) {
        state.oldSize = oldSize;
        state.newSize = newSize;
        EXPECT_EQ(ArchiveFitsState(state, archive, restored, {}), fits) << oldSize << " " << newSize << " " << restored;
    }
}
