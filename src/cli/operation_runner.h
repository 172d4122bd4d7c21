// How every command runs its engine operation: the progress drawn on standard error while it
// is a terminal, Ctrl+C turned into a stop at the operation's next report, and the result
// turned into the outcome and the exit status. An error the operation raises leaves the run
// with the progress line cleared and the notices printed on the way out, for main to tell.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>

#include "cli/command_notices.h"
#include "cli/outcome.h"
#include "engine/notices.h"
#include "support/progress.h"

struct TRunManners {
    // Progress is drawn when this holds (no -q) and standard error is a terminal.
    bool drawProgress = false;
    // What a command stopped by Ctrl+C left, given the items its operation had done by its
    // last report with a position: printed on standard error, exit status 130. A command
    // without it does not watch Ctrl+C, which ends it as the signal does.
    std::function<std::string(int64_t itemsDone)> stoppedText;
};

// A stop that always leaves the same: what a stopped build or update says.
std::function<std::string(int64_t)> StoppedSaying(const std::string& text);

// "Stopped: N files were <done>.", counting the items done by the last report.
std::function<std::string(int64_t)> StoppedAfterFiles(const std::string& done);

// The run itself, for RunOperation: operation is called with the progress callback to give
// the engine (empty when nothing draws or watches) and the notices' sink; verdict prints the
// outcome of a run that was not stopped and returns the exit status.
int RunWatched(const TRunManners& manners, const std::function<void(const ProgressProc&, TNotices*)>& operation,
               const std::function<int(CommandNotices&)>& verdict);

// Runs operation(progress, notices), which returns the engine's result, as the manners say;
// verdict(result, notices) gives the exit status of a run that was not stopped.
template <class Operation, class Verdict>
int RunOperation(const TRunManners& manners, const Operation& operation, const Verdict& verdict) {
    std::invoke_result_t<const Operation&, const ProgressProc&, TNotices*> result{};
    return RunWatched(
        manners, [&](const ProgressProc& progress, TNotices* notices) { result = operation(progress, notices); },
        [&](CommandNotices& notices) { return verdict(result, notices); });
}

// The verdict of most commands: the outcome line textOf(result) makes of a true result on
// standard output, "Error :-(" on standard error for a false one, then the notices.
template <class TextOf>
auto OutcomeLine(TextOf textOf) {
    return [textOf](const auto& result, CommandNotices& notices) {
        return Outcome(result.ok, result.ok ? std::string(textOf(result)) : std::string(), notices);
    };
}

// The verdict of a command whose output is what it made (cat, a listing, a conversion): no
// outcome line for a true result.
inline auto SilentOutcome() {
    return OutcomeLine([](const auto&) { return std::string(); });
}
