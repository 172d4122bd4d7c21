#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/ordered_work.h"

namespace {

// Some work whose length varies with the item, so that workers finish out of order.
uint64_t Churn(size_t index) {
    uint64_t x = index + 1;
    const size_t rounds = 1000 + (index * 7919) % 20000;
    for (size_t k = 0; k < rounds; ++k) x = x * 6364136223846793005ull + 1442695040888963407ull;
    return x;
}

struct TItem {
    size_t index = 0;
    uint64_t value = 0;
};

}  // namespace

TEST(OrderedWork, ResultsArriveInItemOrderWhateverTheWorkerCount) {
    constexpr size_t kCount = 2000;
    for (int workers : {0, 1, 2, 5}) {
        TOrderedWork<TItem> work(kCount, workers, TWorkLimits{16, 1 << 20}, [](size_t) { return 100; },
                                 [](size_t i, TItem& item) {
                                     item = {i, Churn(i)};
                                     return true;
                                 });
        for (size_t i = 0; i < kCount; ++i) {
            const TItem item = work.Take(i);
            ASSERT_EQ(item.index, i) << workers << " workers";
            ASSERT_EQ(item.value, Churn(i));
        }
    }
}

TEST(OrderedWork, WithoutWorkersEveryItemIsProducedOnTheCallingThread) {
    const std::thread::id caller = std::this_thread::get_id();
    TOrderedWork<std::thread::id> work(5, 0, TWorkLimits{}, [](size_t) { return 1; },
                                       [](size_t, std::thread::id& id) {
                                           id = std::this_thread::get_id();
                                           return true;
                                       });
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(work.Take(i), caller);
}

TEST(OrderedWork, AnErrorIsRaisedAtItsOwnItemAndEndsTheWork) {
    constexpr size_t kFailing = 300;
    constexpr size_t kMaxItems = 8;
    for (int workers : {0, 1, 3}) {
        std::mutex mutex;
        std::set<size_t> started;
        TOrderedWork<size_t> work(1000, workers, TWorkLimits{kMaxItems, 1 << 20}, [](size_t) { return 10; },
                                  [&](size_t i, size_t& out) {
                                      {
                                          std::lock_guard<std::mutex> lock(mutex);
                                          started.insert(i);
                                      }
                                      Churn(i);
                                      if (i == kFailing) throw std::runtime_error("item " + std::to_string(i));
                                      out = i;
                                      return true;
                                  });
        for (size_t i = 0; i < kFailing; ++i) ASSERT_EQ(work.Take(i), i);
        try {
            work.Take(kFailing);
            FAIL() << "no error raised";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "item 300");
        }
        EXPECT_THROW(work.Take(kFailing + 1), std::logic_error);
        std::lock_guard<std::mutex> lock(mutex);
        ASSERT_FALSE(started.empty());
        // One worker starts nothing after the failing item; several may have begun a few
        // later items, within the items in flight.
        if (workers <= 1) EXPECT_EQ(*started.rbegin(), kFailing) << workers << " workers";
        else EXPECT_LT(*started.rbegin(), kFailing + kMaxItems) << workers << " workers";
    }
}

TEST(OrderedWork, AnItemThatEndsTheWorkIsTheLastOneProducedOrHandedOver) {
    constexpr size_t kMaxItems = 4;
    for (int workers : {0, 2}) {
        std::atomic<size_t> highest{0};
        TOrderedWork<size_t> work(100, workers, TWorkLimits{kMaxItems, 100}, [](size_t) { return 1; },
                                  [&](size_t i, size_t& out) {
                                      size_t seen = highest.load();
                                      while (i > seen && !highest.compare_exchange_weak(seen, i)) {
                                      }
                                      out = i;
                                      return i != 10;
                                  });
        for (size_t i = 0; i <= 10; ++i) EXPECT_EQ(work.Take(i), i);
        EXPECT_THROW(work.Take(11), std::logic_error);
        // On the calling thread nothing follows it; a second worker may already have begun
        // one of the next items, within the items allowed in flight.
        if (workers == 0) EXPECT_EQ(highest.load(), 10u);
        else EXPECT_LE(highest.load(), 10u + kMaxItems);
    }
}

TEST(OrderedWork, ItemsInFlightStayWithinTheCountAndTheBudgetUnlessOneIsAlone) {
    // Items of cost 10, with every seventh one larger than the whole budget of 40.
    auto cost = [](size_t i) -> int64_t { return i % 7 == 3 ? 100 : 10; };
    constexpr size_t kMaxItems = 3;
    constexpr int64_t kBudget = 40;
    std::mutex mutex;
    size_t liveItems = 0;
    int64_t liveCost = 0;
    bool violated = false;
    std::string violation;
    TOrderedWork<size_t> work(500, 3, TWorkLimits{kMaxItems, kBudget}, cost, [&](size_t i, size_t& out) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++liveItems;
            liveCost += cost(i);
            if (liveItems > kMaxItems || (liveCost > kBudget && liveItems > 1)) {
                violated = true;
                violation = "item " + std::to_string(i) + ": " + std::to_string(liveItems) + " items, cost " +
                            std::to_string(liveCost);
            }
        }
        Churn(i);
        out = i;
        return true;
    });
    for (size_t i = 0; i < 500; ++i) {
        if (i > 0) {
            // Done with the previous item: it leaves the flight before the next is taken.
            std::lock_guard<std::mutex> lock(mutex);
            --liveItems;
            liveCost -= cost(i - 1);
        }
        ASSERT_EQ(work.Take(i), i);
    }
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_FALSE(violated) << violation;
}

TEST(OrderedWork, StoppingEarlyEndsTheWorkersCleanly) {
    std::atomic<size_t> produced{0};
    {
        TOrderedWork<size_t> work(100000, 2, TWorkLimits{8, 1 << 20}, [](size_t) { return 1; },
                                  [&](size_t i, size_t& out) {
                                      ++produced;
                                      out = i;
                                      return true;
                                  });
        EXPECT_EQ(work.Take(0), 0u);
        EXPECT_EQ(work.Take(1), 1u);
    }
    EXPECT_LE(produced.load(), 2u + 8u);
}
