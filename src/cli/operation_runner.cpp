#include "cli/operation_runner.h"

#include <iostream>
#include <optional>

#include "cli/exit_status.h"
#include "cli/interrupt_stop.h"
#include "cli/progress_bar.h"
#include "support/errors.h"
#include "support/host_entries.h"
#include "support/count_text.h"
#include "support/number_text.h"

namespace {

// What the stopped command left on standard error, then its notices.
int Stopped(const std::string& text, CommandNotices& notices) {
    std::cerr << text << '\n';
    notices.Print();
    return kExitInterrupted;
}

}  // namespace

std::function<std::string(int64_t)> StoppedSaying(const std::string& text) {
    return [text](int64_t) { return text; };
}

std::function<std::string(int64_t)> StoppedAfterFiles(const std::string& done) {
    return [done](int64_t files) {
        return "Stopped: " + Counted(files, "file") + (files == 1 ? " was " : " were ") + done + ".";
    };
}

int RunWatched(const TRunManners& manners, const std::function<void(const ProgressProc&, TNotices*)>& operation,
               const std::function<int(CommandNotices&)>& verdict) {
    CommandNotices notices;
    // Watching from before the operation starts: a wait for another process's lock comes
    // before its first report. The watch lasts while the verdict prints.
    std::optional<TInterruptStop> stop;
    if (manners.stoppedText) stop.emplace();
    try {
        // The line is cleared before anything else is printed, a raised error's message too.
        TerminalProgressBar bar(manners.drawProgress && host::StandardErrorIsTerminal(), std::cerr);
        operation(stop ? stop->Watch(bar.Callback()) : bar.Callback(), notices.Sink());
    } catch (const ECancelled&) {
        if (!stop) throw;
        return Stopped(manners.stoppedText(stop->ItemsDone()), notices);
    }
    return verdict(notices);
}
