#include "ui/preview_worker.h"

TPreviewWorker::TPreviewWorker(TMake make, TDeliver deliver) : make_(std::move(make)), deliver_(std::move(deliver)) {
    thread_ = std::thread([this] { Run(); });
}

TPreviewWorker::~TPreviewWorker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
        waiting_.reset();
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void TPreviewWorker::Submit(TPreviewJob job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_ = std::move(job);
        if (running_) stop_ = true;
    }
    changed_.notify_all();
}

void TPreviewWorker::Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.reset();
    if (running_) stop_ = true;
}

void TPreviewWorker::Hold() {
    std::unique_lock<std::mutex> lock(mutex_);
    ++holds_;
    if (running_) stop_ = true;
    changed_.wait(lock, [this] { return !running_; });
}

void TPreviewWorker::Release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (holds_ > 0) --holds_;
    }
    changed_.notify_all();
}

void TPreviewWorker::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || (waiting_ && holds_ == 0); });
        if (ending_) return;
        const TPreviewJob job = std::move(*waiting_);
        waiting_.reset();
        running_ = true;
        stop_ = false;
        ++started_;
        lock.unlock();
        TPreviewContent content = make_(job, stop_);
        const bool stopped = stop_;
        if (!stopped) deliver_(std::move(content));
        lock.lock();
        running_ = false;
        changed_.notify_all();
    }
}
