#include "engine/building/internal/directory_deflater.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "support/progress.h"
#include "support/zlib_adapter.h"

namespace {

// Former's bytes are compressed in pieces with a point of return before each; a point holds
// the compressor's state (about 256 KiB at level 9), so there are a few dozen at most.
constexpr size_t kLeastMarkInterval = 128 * 1024;
constexpr size_t kMostMarks = 24;

size_t MarkInterval(const TArrayOfByte* former) {
    if (former == nullptr) return kLeastMarkInterval;
    return std::max(kLeastMarkInterval, former->size() / kMostMarks + 1);
}

}  // namespace

TDirectoryDeflater::TDirectoryDeflater(const TArrayOfByte* former)
    : former_(former), markEvery_(MarkInterval(former)), following_(former != nullptr), thread_([this] { Run(); }) {}

TDirectoryDeflater::~TDirectoryDeflater() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void TDirectoryDeflater::Hand(const uint8_t* bytes, size_t count) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        pieces_.emplace_back(bytes, bytes + count);
    }
    wake_.notify_all();
}

// The image is former's up to same and parts from it there (or ends): it is compressed
// anew from the last point of return at or before same.
void TDirectoryDeflater::PartFrom(size_t same) {
    following_ = false;
    given_ = same / markEvery_ * markEvery_;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        parted_ = true;
        partAt_ = given_;
    }
    wake_.notify_all();
}

void TDirectoryDeflater::Give(const TArrayOfByte& image, size_t final) {
    if (final <= given_) return;
    if (following_) {
        const size_t end = std::min(final, former_->size());
        const auto first = image.begin() + static_cast<std::ptrdiff_t>(given_);
        const auto last = image.begin() + static_cast<std::ptrdiff_t>(end);
        const size_t same = given_ + static_cast<size_t>(
            std::mismatch(first, last, former_->begin() + static_cast<std::ptrdiff_t>(given_)).first - first);
        if (same == final) {
            given_ = final;
            return;
        }
        PartFrom(same);
    }
    Hand(image.data() + given_, final - given_);
    given_ = final;
}

TArrayOfByte TDirectoryDeflater::Finish(const TArrayOfByte& image) {
    Give(image, image.size());
    if (following_) {
        // The whole image is former's beginning: only its end is compressed anew.
        PartFrom(image.size());
        Hand(image.data() + given_, image.size() - given_);
        given_ = image.size();
    }
    std::unique_lock<std::mutex> lock(mutex_);
    ending_ = true;
    wake_.notify_all();
    while (!done_.wait_for(lock, kKeepAliveInterval, [&] { return finished_; })) {
        lock.unlock();
        KeepAlive();
        lock.lock();
    }
    if (error_) std::rethrow_exception(error_);
    return std::move(result_);
}

void TDirectoryDeflater::Run() {
    try {
        TStreamCompressor compressor;
        std::unique_lock<std::mutex> lock(mutex_);
        if (former_ != nullptr) {
            std::vector<std::pair<size_t, TStreamCompressor::TMark>> marks;
            size_t ahead = 0;
            while (!parted_) {
                if (stopping_) return;
                if (ahead >= former_->size()) {
                    wake_.wait(lock, [&] { return stopping_ || parted_; });
                    continue;
                }
                lock.unlock();
                marks.emplace_back(ahead, compressor.Mark());
                const size_t piece = std::min(markEvery_, former_->size() - ahead);
                compressor.Add(former_->data() + ahead, static_cast<int64_t>(piece));
                ahead += piece;
                lock.lock();
            }
            if (ahead > partAt_) {
                for (auto& [at, mark] : marks)
                    if (at == partAt_) compressor.ReturnTo(mark);
            } else if (ahead < partAt_) {
                compressor.Add(former_->data() + ahead, static_cast<int64_t>(partAt_ - ahead));
            }
        }
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || ending_ || !pieces_.empty(); });
            if (stopping_) return;
            if (pieces_.empty()) break;
            const TArrayOfByte piece = std::move(pieces_.front());
            pieces_.pop_front();
            lock.unlock();
            compressor.Add(piece.data(), BufferLength(piece));
            lock.lock();
        }
        lock.unlock();
        TArrayOfByte result = compressor.Finish();
        lock.lock();
        result_ = std::move(result);
        finished_ = true;
    } catch (...) {
        const std::lock_guard<std::mutex> lock(mutex_);
        error_ = std::current_exception();
        finished_ = true;
    }
    done_.notify_all();
}
