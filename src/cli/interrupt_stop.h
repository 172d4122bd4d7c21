// Ctrl+C during a command that writes. The first one stops the operation at its next
// report, through its progress callback, as the window's Stop does: a build removes its new
// file, an update rolls back, an extraction keeps the files it finished. A second one ends
// the process at once, which the crash safety covers as any kill. Linux catches SIGINT
// (interrupt_stop.cpp), Windows the console's Ctrl+C and Ctrl+Break (interrupt_stop_windows.cpp).
#pragma once

#include <cstdint>
#include <memory>

#include "support/progress.h"

class TInterruptStop {
public:
    TInterruptStop();
    ~TInterruptStop();
    TInterruptStop(const TInterruptStop&) = delete;
    TInterruptStop& operator=(const TInterruptStop&) = delete;

    // The callback to give the operation: it passes each report on to draw (which may be
    // empty), keeps the count of items done the operation last gave, and raises ECancelled
    // once Ctrl+C was pressed. Valid while this object lives.
    ProgressProc Watch(ProgressProc draw);

    // The items the operation had done, by its last report with a position: the files an
    // extraction finished when it stopped.
    int64_t ItemsDone() const { return itemsDone_; }

private:
    // What the platform had before (the previous SIGINT action on Linux).
    struct TPrevious;
    std::unique_ptr<TPrevious> previous_;
    int64_t itemsDone_ = 0;
};

// Raises ECancelled once Ctrl+C was pressed while a TInterruptStop watches: for the waits
// that come before an operation's first report, as a wait for another process's lock.
void StopIfAsked();
