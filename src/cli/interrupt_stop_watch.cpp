#include "cli/interrupt_stop.h"

// The same on every platform: how Ctrl+C is caught is in interrupt_stop.cpp and
// interrupt_stop_windows.cpp.
ProgressProc TInterruptStop::Watch(ProgressProc draw) {
    return [this, draw = std::move(draw)](const TProgress& progress) {
        if (progress.HasPosition()) itemsDone_ = progress.done;
        if (draw) draw(progress);
        StopIfAsked();
    };
}
