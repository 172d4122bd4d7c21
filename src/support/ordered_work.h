// Work done ahead on worker threads and handed to the calling thread in item order.
//
// Items 0..count-1 are produced by worker threads, each taking the lowest item not yet
// taken, and the calling thread takes the results strictly in order. Items in flight are
// bounded by count and by an estimated byte cost, so memory stays near one large item plus
// a fixed budget: an item that alone exceeds the budget is produced only when nothing else
// is in flight. An exception raised while producing an item is handed over when that item
// is taken, so the caller sees it exactly where a single-threaded loop would have raised it.
// Once it is raised no later item is started; with one worker none was, with several a few
// later items may already be under way, and their results are never handed over. With no
// worker threads every item is produced inside Take, on the calling thread.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "support/progress.h"

struct TWorkLimits {
    size_t maxItems = 64;              // items produced but not yet done with by the caller
    int64_t maxBytes = 32 << 20;       // their summed cost
};

// The number of worker threads that keeps every core busy.
inline int CoreCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

template <typename TResult>
class TOrderedWork {
public:
    // Fills the result of one item. Returns false when no later item is to be produced.
    using ProduceProc = std::function<bool(size_t index, TResult& result)>;
    // The estimated memory an item holds from its start until the caller is done with it.
    // Called under the queue's lock: it must be quick and must not raise.
    using CostProc = std::function<int64_t(size_t index)>;

    TOrderedWork(size_t count, int workerCount, TWorkLimits limits, CostProc cost, ProduceProc produce)
        : limits_(Sane(limits)), cost_(std::move(cost)), produce_(std::move(produce)),
          slots_(workerCount > 0 ? limits_.maxItems : 0), end_(count) {
        try {
            for (int i = 0; i < workerCount; ++i) workers_.emplace_back([this] { WorkerLoop(); });
        } catch (...) {
            Stop();
            throw;
        }
    }

    ~TOrderedWork() { Stop(); }

    TOrderedWork(const TOrderedWork&) = delete;
    TOrderedWork& operator=(const TOrderedWork&) = delete;

    // The result of the next item in order (index must be the number of items taken so far).
    // The item taken before this one counts against the budget until this call: the caller
    // is taken to be done with it. Rethrows the exception its production raised. While it
    // waits it keeps the operation's caller alive (KeepAlive), which may stop it.
    TResult Take(size_t index) {
        if (workers_.empty()) return ProduceHere(index);
        std::unique_lock<std::mutex> lock(mutex_);
        if (index != taken_ || index >= end_) throw std::logic_error("items are taken in order, up to the last one");
        inFlight_ -= heldCost_;
        heldCost_ = 0;
        holding_ = false;
        WakeWorkersWithRoom();
        TSlot& slot = slots_[index % slots_.size()];
        // One large item can take long: the caller keeps hearing from the operation meanwhile,
        // and may stop it here, before the item is taken.
        while (!ready_.wait_for(lock, kKeepAliveInterval, [&] { return slot.ready; })) {
            lock.unlock();
            KeepAlive();
            lock.lock();
        }
        TResult result = std::move(slot.result);
        const std::exception_ptr error = slot.error;
        heldCost_ = slot.cost;
        holding_ = true;
        slot = TSlot{};
        ++taken_;
        WakeWorkersWithRoom();
        lock.unlock();
        if (error) std::rethrow_exception(error);
        return result;
    }

private:
    struct TSlot {
        bool ready = false;
        TResult result{};
        std::exception_ptr error;
        int64_t cost = 0;
    };

    static TWorkLimits Sane(TWorkLimits limits) {
        limits.maxItems = std::max<size_t>(limits.maxItems, 1);
        limits.maxBytes = std::max<int64_t>(limits.maxBytes, 0);
        return limits;
    }

    TResult ProduceHere(size_t index) {
        if (index != taken_ || index >= end_) throw std::logic_error("items are taken in order, up to the last one");
        ++taken_;
        TResult result{};
        bool goOn = false;
        try {
            goOn = produce_(index, result);
        } catch (...) {
            end_ = index + 1;
            throw;
        }
        if (!goOn) end_ = index + 1;
        return result;
    }

    // Under the lock.
    bool MayStartNext() const {
        if (next_ - taken_ + (holding_ ? 1 : 0) >= limits_.maxItems) return false;
        return inFlight_ == 0 || inFlight_ + cost_(next_) <= limits_.maxBytes;
    }

    // Under the lock. A worker that found no room waits until a quarter of the budget is
    // free again, not just one item's worth: many small items would otherwise cost two thread
    // switches each, as the caller took one and the worker made the next.
    bool HasSlack() const {
        const size_t items = next_ - taken_ + (holding_ ? 1 : 0);
        return items + limits_.maxItems / 4 <= limits_.maxItems &&
               (inFlight_ == 0 || inFlight_ + limits_.maxBytes / 4 <= limits_.maxBytes);
    }

    // Under the lock.
    void WakeWorkersWithRoom() {
        if (waitingForRoom_ > 0 && HasSlack()) room_.notify_all();
    }

    void WorkerLoop() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (!(stopping_ || next_ >= end_ || MayStartNext())) {
                ++waitingForRoom_;
                room_.wait(lock, [&] { return stopping_ || next_ >= end_ || (MayStartNext() && HasSlack()); });
                --waitingForRoom_;
            }
            if (stopping_ || next_ >= end_) return;
            const size_t index = next_++;
            const int64_t cost = cost_(index);
            inFlight_ += cost;
            lock.unlock();

            TResult result{};
            std::exception_ptr error;
            bool goOn = false;
            try {
                goOn = produce_(index, result);
            } catch (...) {
                error = std::current_exception();
            }

            lock.lock();
            TSlot& slot = slots_[index % slots_.size()];
            slot.result = std::move(result);
            slot.error = error;
            slot.cost = cost;
            slot.ready = true;
            if (!goOn) end_ = std::min(end_, index + 1);
            ready_.notify_all();
            room_.notify_all();
        }
    }

    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        room_.notify_all();
        for (std::thread& t : workers_)
            if (t.joinable()) t.join();
        workers_.clear();
    }

    const TWorkLimits limits_;
    const CostProc cost_;
    const ProduceProc produce_;

    std::mutex mutex_;
    std::condition_variable room_;   // workers wait here for budget
    std::condition_variable ready_;  // the caller waits here for its item
    std::vector<TSlot> slots_;       // ring of results of the items started and not taken
    size_t next_ = 0;                // the lowest item no worker has started
    size_t taken_ = 0;               // items handed to the caller
    size_t end_;                     // no item from here on is produced
    int64_t inFlight_ = 0;           // cost of items started and not yet done with
    int64_t heldCost_ = 0;           // cost of the item the caller holds
    bool holding_ = false;           // the caller holds an item it has taken
    int waitingForRoom_ = 0;         // workers waiting in room_
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};
