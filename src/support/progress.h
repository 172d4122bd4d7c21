// The progress callback that long operations take. Each report carries how many items are
// done (counted from 1) out of how many in all, as 64-bit counts, and a text; a report with
// both counts 0 has no position (a phase, or a long step that goes on). An empty function
// means "no callback".
//
// The callback may stop the operation by raising ECancelled: the operation ends as it ends
// on any raised error, each step undoing what must not stay half done.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <string>

struct TProgress {
    int64_t done = 0;
    int64_t total = 0;
    const char* text = nullptr;  // may be null

    bool HasPosition() const { return done != 0 || total != 0; }
};

using ProgressProc = std::function<void(const TProgress& progress)>;

// Between two reports of an operation the caller hears from it at least this often: a
// window keeps painting and can ask to stop while one large file is compressed, a tail is
// moved or a journal is saved.
inline constexpr std::chrono::milliseconds kKeepAliveInterval{100};

// The callback of the operation running on this thread, for the steps deep inside it. An
// operation opens a scope with its callback on its calling thread; scopes nest, and one
// without a callback leaves the enclosing one in force (an operation run inside another
// without progress of its own keeps the outer caller alive).
class TProgressScope {
public:
    explicit TProgressScope(const ProgressProc& progress);
    ~TProgressScope();
    TProgressScope(const TProgressScope&) = delete;
    TProgressScope& operator=(const TProgressScope&) = delete;

private:
    friend void NoteReport(const char* text);
    friend void KeepAlive();
    friend void ReportToScope(const TProgress& progress);

    const ProgressProc* progress_ = nullptr;
    TProgressScope* outer_ = nullptr;
    std::string lastText_;
    std::chrono::steady_clock::time_point lastReport_;
};

// True when an operation with a callback runs on this thread.
bool InProgressScope();

// A report of the operation on this thread, made from a step deep inside it that has no
// callback of its own (the phases of writing an update).
void ReportToScope(const TProgress& progress);

// Remembers a report of the operation on this thread, for KeepAlive.
void NoteReport(const char* text);

// Repeats the last report, without position, when kKeepAliveInterval has passed since the
// operation on this thread last reported. Does nothing on a thread without a scope, or
// while an error is on its way (a roll-back on the way out must not be stopped).
void KeepAlive();

// A step that, once begun, only finishes: while one lives on this thread, the operation's
// caller still hears from it, but a stop the caller raises is let go. An update that is
// bound to roll forward would only leave the same work to the next open of the archive.
class TUnstoppable {
public:
    TUnstoppable();
    ~TUnstoppable();
    TUnstoppable(const TUnstoppable&) = delete;
    TUnstoppable& operator=(const TUnstoppable&) = delete;
};

// Waits for work running on another thread, keeping the operation's caller alive meanwhile;
// then returns its result or raises its error. Should the caller stop the operation while
// it waits, the work is still waited for (by the future's owner) before the stop goes on.
template <class T>
T WaitKeepingAlive(std::future<T>& work) {
    while (work.wait_for(kKeepAliveInterval) != std::future_status::ready) KeepAlive();
    return work.get();
}

// Reports only when a callback is present.
inline void Report(const ProgressProc& progress, const TProgress& report) {
    if (!progress) return;
    NoteReport(report.text);
    progress(report);
}

// A report without position: a phase, or a step that has no count.
inline void Report(const ProgressProc& progress, const char* text) { Report(progress, TProgress{0, 0, text}); }
