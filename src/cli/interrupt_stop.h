// Ctrl+C during a command that writes. The first one stops the operation at its next
// report, through its progress callback, as the window's Stop does: a build removes its new
// file, an update rolls back, an extraction keeps the files it finished. A second one ends
// the process at once, which the crash safety covers as any kill.
#pragma once

#include <csignal>
#include <cstdint>

#include "cli/commands.h"
#include "support/progress.h"

inline constexpr int kExitInterrupted = 130;  // as a shell reports a process ended by SIGINT

class TInterruptStop {
public:
    TInterruptStop();
    ~TInterruptStop();
    TInterruptStop(const TInterruptStop&) = delete;
    TInterruptStop& operator=(const TInterruptStop&) = delete;

    // The callback to give the operation: it passes each report on to draw (which may be
    // empty), counts the reports of finished items, and raises ECancelled once Ctrl+C was
    // pressed. Valid while this object lives.
    ProgressProc Watch(ProgressProc draw);

    // Reports with a position made so far: the items an extraction finished.
    int32_t ItemsReported() const { return itemsReported_; }

private:
    struct sigaction previous_ {};
    int32_t itemsReported_ = 0;
};

// Raises ECancelled once Ctrl+C was pressed while a TInterruptStop watches: for the waits
// that come before an operation's first report, as a wait for another process's lock.
void StopIfAsked();

// Prints what the stopped command left on standard error, then its notices, and returns
// kExitInterrupted.
int Stopped(const std::string& text, CommandNotices& notices);
