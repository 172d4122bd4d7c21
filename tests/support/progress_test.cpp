#include <gtest/gtest.h>

#include "support/progress.h"

TEST(ProgressValue, AReportHasAPositionWhenEitherCountIsSet) {
    EXPECT_FALSE((TProgress{0, 0, "phase"}).HasPosition());
    EXPECT_TRUE((TProgress{1, 3, "a"}).HasPosition());
    EXPECT_TRUE((TProgress{0, 3, "a"}).HasPosition());
    EXPECT_TRUE((TProgress{5, 0, "odd"}).HasPosition());
}

TEST(ReportProgress, CallsTheCallbackOnlyWhenOneIsGiven) {
    TProgress seen;
    std::string text;
    ProgressProc progress = [&](const TProgress& report) {
        seen = report;
        text = report.text;
    };
    Report(progress, {1, 2, "a\\b"});
    EXPECT_EQ(seen.done, 1);
    EXPECT_EQ(seen.total, 2);
    EXPECT_EQ(text, "a\\b");
    Report(ProgressProc{}, {5, 6, "ignored"});  // no callback: nothing to call, nothing breaks
    EXPECT_EQ(seen.done, 1);
}

TEST(ReportProgress, CountsPastSixtyFiveThousandReachTheCallbackAsTheyAre) {
    TProgress seen;
    const ProgressProc progress = [&](const TProgress& report) { seen = report; };
    Report(progress, {700001, 1000000, "far along"});
    EXPECT_EQ(seen.done, 700001);
    EXPECT_EQ(seen.total, 1000000);
}

// ---- keeping the caller alive ------------------------------------------------------------

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TCall {
    int64_t done = 0;
    int64_t total = 0;
    std::string text;
    bool operator==(const TCall&) const = default;
};

struct TCalls {
    std::vector<TCall> seen;
    ProgressProc Proc() {
        return [this](const TProgress& report) { seen.push_back({report.done, report.total, report.text}); };
    }
};

void WaitOutTheInterval() { std::this_thread::sleep_for(kKeepAliveInterval + std::chrono::milliseconds(20)); }

}  // namespace

TEST(KeepAlive, RepeatsTheLastReportWithoutPositionOnceTheIntervalHasPassed) {
    TCalls calls;
    const ProgressProc progress = calls.Proc();
    const TProgressScope scope(progress);
    Report(progress, {1, 4, "first file"});
    WaitOutTheInterval();
    KeepAlive();
    KeepAlive();  // at once again: the interval starts anew
    EXPECT_EQ(calls.seen, (std::vector<TCall>{{1, 4, "first file"}, {0, 0, "first file"}}));
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
    Report(progress, "outer step");
    {
        const ProgressProc none;
        const TProgressScope inner(none);
        WaitOutTheInterval();
        KeepAlive();
    }
    ASSERT_EQ(calls.seen.size(), 2u);
    EXPECT_EQ(calls.seen[1], (TCall{0, 0, "outer step"}));
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
