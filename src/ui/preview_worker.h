// The thread that makes previews: at most one job runs and at most one waits. A new job takes
// the waiting one's place and asks the running one to stop, so a selection moved quickly
// through many entries leaves no queue of work behind it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "ui/preview_content.h"

class TPreviewWorker {
public:
    using TMake = std::function<TPreviewContent(const TPreviewJob& job, const std::atomic<bool>& stop)>;
    // Called on the worker's thread with each result of a job that was not stopped.
    using TDeliver = std::function<void(TPreviewContent content)>;

    TPreviewWorker(TMake make, TDeliver deliver);
    // Stops the running job and waits for the thread to end.
    ~TPreviewWorker();
    TPreviewWorker(const TPreviewWorker&) = delete;
    TPreviewWorker& operator=(const TPreviewWorker&) = delete;

    void Submit(TPreviewJob job);
    // Drops the waiting job and stops the running one.
    void Cancel();
    // Stops the running job and returns once it has ended; no job starts until Release.
    // Holds nest. The window holds the worker while a command changes archives.
    void Hold();
    void Release();

    // How many jobs have been started, for tests and benchmarks.
    int StartedJobs() const { return started_; }

private:
    void Run();

    TMake make_;
    TDeliver deliver_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<TPreviewJob> waiting_;
    bool running_ = false;
    int holds_ = 0;
    bool ending_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<int> started_{0};
    std::thread thread_;
};
