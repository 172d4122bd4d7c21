#include <gtest/gtest.h>

#include "support/progress.h"

namespace {
uint32_t TotalOf(uint32_t position) { return position >> 16; }
uint32_t DoneOf(uint32_t position) { return position & 0xFFFFu; }
}  // namespace

TEST(PackProgressWord, SmallTotalsArePackedAsTheyAre) {
    EXPECT_EQ(PackProgress(10, 3), (10u << 16) | 3u);
    EXPECT_EQ(PackProgress(65535, 65535), 0xFFFFFFFFu);
    EXPECT_EQ(PackProgress(1, 1), 0x00010001u);
}

TEST(PackProgressWord, TotalsAbove65535ScaleBothHalvesAndKeepThePercentage) {
    const int64_t total = 200000;
    for (int64_t done : {int64_t{1}, int64_t{50000}, int64_t{100000}, int64_t{150000}, int64_t{199999}}) {
        const uint32_t word = PackProgress(total, done);
        ASSERT_EQ(TotalOf(word), 0xFFFFu);
        const double expected = static_cast<double>(done) / static_cast<double>(total);
        const double shown = static_cast<double>(DoneOf(word)) / static_cast<double>(TotalOf(word));
        EXPECT_NEAR(shown, expected, 1.0 / 65535.0) << "done " << done;
    }
}

TEST(PackProgressWord, ScaledProgressStartsAboveZeroAndEndsAtTheTotal) {
    EXPECT_GT(DoneOf(PackProgress(1000000, 1)), 0u);
    EXPECT_EQ(DoneOf(PackProgress(1000000, 1000000)), TotalOf(PackProgress(1000000, 1000000)));
    EXPECT_EQ(DoneOf(PackProgress(65536, 65536)), 0xFFFFu);
}

TEST(ReportProgress, CallsTheCallbackOnlyWhenOneIsGiven) {
    uint32_t seen = 0;
    std::string text;
    ProgressProc progress = [&](uint32_t position, const char* t) {
        seen = position;
        text = t;
    };
    Report(progress, 0x00020001u, "a\\b");
    EXPECT_EQ(seen, 0x00020001u);
    EXPECT_EQ(text, "a\\b");
    Report(ProgressProc{}, 5, "ignored");  // no callback: nothing to call, nothing breaks
    EXPECT_EQ(seen, 0x00020001u);
}
