#include "support/progress.h"

#include <cstring>
#include <exception>

#include "support/errors.h"
#include "support/host_entries.h"

namespace {

thread_local TProgressScope* currentScope = nullptr;

// Of a report's text, kept to be repeated while the operation is quiet, at most this much:
// the steps of a tree thousands of folders deep report paths as long as its depth, and
// keeping each whole would cost every step that length.
constexpr size_t kKeptTextLength = 4096;
thread_local int unstoppableDepth = 0;

void CallScope(const ProgressProc& progress, uint32_t position, const char* text) {
    if (unstoppableDepth == 0) {
        progress(position, text);
        return;
    }
    try {
        progress(position, text);
    } catch (const ECancelled&) {
    }
}

}  // namespace

uint32_t PackProgress(int64_t total, int64_t done) {
    constexpr int64_t kHalfMax = 0xFFFF;
    if (total > kHalfMax) {
        // Scale both halves alike; rounding done up keeps "finished" at 100 %.
        done = (done * kHalfMax + total - 1) / total;
        total = kHalfMax;
    }
    return (static_cast<uint32_t>(total) << 16) | (static_cast<uint32_t>(done) & 0xFFFFu);
}

TProgressScope::TProgressScope(const ProgressProc& progress) {
    if (!progress) return;
    progress_ = &progress;
    outer_ = currentScope;
    lastReport_ = std::chrono::steady_clock::now();
    currentScope = this;
}

TProgressScope::~TProgressScope() {
    if (progress_ != nullptr) currentScope = outer_;
    // An operation that ends lets go of the folders it held open: a window that stays
    // open must not keep a removable disk busy.
    if (currentScope == nullptr) host::ForgetFolders();
}

bool InProgressScope() { return currentScope != nullptr; }

void NoteReport(const char* text) {
    TProgressScope* scope = currentScope;
    if (scope == nullptr) return;
    if (text == nullptr) scope->lastText_.clear();
    else scope->lastText_.assign(text, ::strnlen(text, kKeptTextLength));
    scope->lastReport_ = std::chrono::steady_clock::now();
}

void ReportToScope(uint32_t position, const char* text) {
    TProgressScope* scope = currentScope;
    if (scope == nullptr) return;
    NoteReport(text);
    CallScope(*scope->progress_, position, text);
}

void KeepAlive() {
    TProgressScope* scope = currentScope;
    if (scope == nullptr || std::uncaught_exceptions() > 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - scope->lastReport_ < kKeepAliveInterval) return;
    scope->lastReport_ = now;
    CallScope(*scope->progress_, 0, scope->lastText_.c_str());
}

TUnstoppable::TUnstoppable() { ++unstoppableDepth; }

TUnstoppable::~TUnstoppable() { --unstoppableDepth; }
