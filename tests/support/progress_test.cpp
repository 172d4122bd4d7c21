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

// ---- keeping the caller alive ------------------------------------------------------------

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TCalls {
    std::vector<std::pair<uint32_t, std::string>> seen;
    ProgressProc Proc() {
        return [this](uint32_t position, const char* text) { seen.emplace_back(position, text); };
    }
};

void WaitOutTheInterval() { std::this_thread::sleep_for(kKeepAliveInterval + std::chrono::milliseconds(20)); }

}  // namespace

TEST(KeepAlive, RepeatsTheLastReportWithoutPositionOnceTheIntervalHasPassed) {
    TCalls calls;
    const ProgressProc progress = calls.Proc();
    const TProgressScope scope(progress);
    Report(progress, PackProgress(4, 1), "first file");
    WaitOutTheInterval();
    KeepAlive();
    KeepAlive();  // at once again: the interval starts anew
    EXPECT_EQ(calls.seen, (std::vector<std::pair<uint32_t, std::string>>{{PackProgress(4, 1), "first file"},
                                                                         {0, "first file"}}));
}

TEST(KeepAlive, DoesNothingWithoutAScopeOrOnAnotherThread) {
    TCalls calls;
    const ProgressProc progress = calls.Proc();
    WaitOutTheInterval();
    KeepAlive();
    {
        const TProgressScope scope(progress);
        WaitOutTheInterval();
        std::thread([] { KeepAlive(); }).join();
    }
    EXPECT_TRUE(calls.seen.empty());
}

TEST(KeepAlive, AnInnerOperationWithoutCallbackKeepsTheOuterOneAlive) {
    TCalls calls;
    const ProgressProc progress = calls.Proc();
    const TProgressScope outer(progress);
    Report(progress, 0, "outer step");
    {
        const ProgressProc none;
        const TProgressScope inner(none);
        WaitOutTheInterval();
        KeepAlive();
    }
    ASSERT_EQ(calls.seen.size(), 2u);
    EXPECT_EQ(calls.seen[1], (std::pair<uint32_t, std::string>{0, "outer step"}));
}

TEST(KeepAlive, CallsNothingWhileAnErrorIsOnItsWayOut) {
    TCalls calls;
    const ProgressProc progress = calls.Proc();
    const TProgressScope scope(progress);
    struct TKeepsAliveOnTheWayOut {
        ~TKeepsAliveOnTheWayOut() { KeepAlive(); }  // as a roll-back in a destructor does
    };
    WaitOutTheInterval();
    try {
        TKeepsAliveOnTheWayOut guard;
        throw std::runtime_error("failure");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(calls.seen.empty());
}
