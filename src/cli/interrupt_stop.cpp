#include "cli/interrupt_stop.h"

#include "support/errors.h"

namespace {

volatile std::sig_atomic_t stopAsked = 0;

extern "C" void AskToStop(int) { stopAsked = 1; }

}  // namespace

TInterruptStop::TInterruptStop() {
    stopAsked = 0;
    struct sigaction action {};
    action.sa_handler = AskToStop;
    sigemptyset(&action.sa_mask);
    // The handler serves once: a second Ctrl+C finds the default action again.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, &previous_);
}

TInterruptStop::~TInterruptStop() { sigaction(SIGINT, &previous_, nullptr); }

ProgressProc TInterruptStop::Watch(ProgressProc draw) {
    return [this, draw = std::move(draw)](const TProgress& progress) {
        if (progress.HasPosition()) itemsDone_ = progress.done;
        if (draw) draw(progress);
        StopIfAsked();
    };
}

void StopIfAsked() {
    if (stopAsked == 0) return;
    stopAsked = 0;
    throw ECancelled();
}
