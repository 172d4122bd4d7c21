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

void CallScope(const ProgressProc& progress, const TProgress& report) {
    if (unstoppableDepth == 0) {
        progress(report);
        return;
    }
    try {
        progress(report);
    } catch (const ECancelled&) {
    }
}

}  // namespace

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

void ReportToScope(const TProgress& progress) {
    TProgressScope* scope = currentScope;
    if (scope == nullptr) return;
    NoteReport(progress.text);
    CallScope(*scope->progress_, progress);
}

void KeepAlive() {
    TProgressScope* scope = currentScope;
    if (scope == nullptr || std::uncaught_exceptions() > 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - scope->lastReport_ < kKeepAliveInterval) return;
    scope->lastReport_ = now;
    CallScope(*scope->progress_, TProgress{0, 0, scope->lastText_.c_str()});
}

TUnstoppable::TUnstoppable() { ++unstoppableDepth; }

TUnstoppable::~TUnstoppable() { --unstoppableDepth; }
