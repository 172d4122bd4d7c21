#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "support/host_file.h"
#include "support/splice.h"

namespace {

// Cuts [0, size) into runs and gives each a destination in the same order, shifted by a
// random amount against its neighbours, as replacing streams of varying length does.
std::vector<TRangeMove> RandomMoves(std::mt19937& random, int64_t size, int runs, int64_t maxGap) {
    std::vector<int64_t> cuts{0, size};
    for (int k = 1; k < runs; ++k) cuts.push_back(std::uniform_int_distribution<int64_t>(0, size)(random));
    std::sort(cuts.begin(), cuts.end());
    std::vector<TRangeMove> moves;
    int64_t to = std::uniform_int_distribution<int64_t>(0, maxGap)(random);
    for (size_t k = 0; k + 1 < cuts.size(); ++k) {
        const int64_t length = cuts[k + 1] - cuts[k];
        moves.push_back({cuts[k], to, length});
        to += length + std::uniform_int_distribution<int64_t>(0, maxGap)(random);
    }
    return moves;
}

void ExpectMovedAsPlanned(const TArrayOfByte& before, const TArrayOfByte& after, const std::vector<TRangeMove>& moves) {
    for (const TRangeMove& move : moves) {
        ASSERT_LE(static_cast<size_t>(move.to + move.length), after.size());
        const bool same = std::equal(before.begin() + move.from, before.begin() + move.from + move.length,
                                     after.begin() + move.to);
        ASSERT_TRUE(same) << "run from " << move.from << " to " << move.to << " of " << move.length << " bytes";
    }
}

}  // namespace

TEST(MoveRanges, EveryRunArrivesIntactWhicheverWayItsNeighboursMove) {
    std::mt19937 random(5);
    for (int round = 0; round < 40; ++round) {
        TempDir dir;
        const int64_t size = std::uniform_int_distribution<int64_t>(1, 20000)(random);
        const TArrayOfByte before = RandomBytes(static_cast<size_t>(size), random);
        WriteFile(dir / "f", before);
        const std::vector<TRangeMove> moves = RandomMoves(random, size, round % 7 + 1, 300);
        HostFile file(dir / "f", HostFile::Mode::ReadWrite);
        file.Seek(17);
        MoveRanges(file, moves);
        EXPECT_EQ(file.Position(), 17);
        file.Close();
        ExpectMovedAsPlanned(before, ReadFileBytes(dir / "f"), moves);
    }
}

TEST(MoveRanges, RunsLongerThanTheWorkBufferMoveBothWays) {
    std::mt19937 random(6);
    TempDir dir;
    const int64_t size = 3 * kSpliceBlockSize + 12345;
    const TArrayOfByte before = RandomBytes(static_cast<size_t>(size), random);
    WriteFile(dir / "f", before);
    // Both runs move forwards by less than a block, then back again.
    const std::vector<TRangeMove> moves{{0, 1000, 2 * kSpliceBlockSize + 7},
                                        {2 * kSpliceBlockSize + 7, 2 * kSpliceBlockSize + 1500,
                                         size - (2 * kSpliceBlockSize + 7)}};
    HostFile file(dir / "f", HostFile::Mode::ReadWrite);
    MoveRanges(file, moves);
    file.Close();
    ExpectMovedAsPlanned(before, ReadFileBytes(dir / "f"), moves);

    const TArrayOfByte middle = ReadFileBytes(dir / "f");
    const std::vector<TRangeMove> back{{1000, 0, 2 * kSpliceBlockSize + 7},
                                       {2 * kSpliceBlockSize + 1500, 2 * kSpliceBlockSize + 7,
                                        size - (2 * kSpliceBlockSize + 7)}};
    HostFile again(dir / "f", HostFile::Mode::ReadWrite);
    MoveRanges(again, back);
    again.Close();
    ExpectMovedAsPlanned(middle, ReadFileBytes(dir / "f"), back);
    const TArrayOfByte after = ReadFileBytes(dir / "f");
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
}

TEST(MoveRanges, RunsThatStayOrAreEmptyWriteNothing) {
    TempDir dir;
    WriteFile(dir / "f", "0123456789");
    HostFile file(dir / "f", HostFile::Mode::ReadWrite);
    MoveRanges(file, {{0, 0, 4}, {4, 4, 0}, {4, 4, 6}});
    MoveRanges(file, {});
    file.Close();
    EXPECT_EQ(ReadFileText(dir / "f"), "0123456789");
}
