#include "cli/interrupt_stop.h"

#include <csignal>

#include "support/errors.h"

namespace {

volatile std::sig_atomic_t stopAsked = 0;

extern "C" void AskToStop(int) { stopAsked = 1; }

}  // namespace

struct TInterruptStop::TPrevious {
    struct sigaction action {};
};

TInterruptStop::TInterruptStop() : previous_(std::make_unique<TPrevious>()) {
    stopAsked = 0;
    struct sigaction action {};
    action.sa_handler = AskToStop;
    sigemptyset(&action.sa_mask);
    // The handler serves once: a second Ctrl+C finds the default action again.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, &previous_->action);
}

TInterruptStop::~TInterruptStop() { sigaction(SIGINT, &previous_->action, nullptr); }

void StopIfAsked() {
    if (stopAsked == 0) return;
    stopAsked = 0;
    throw ECancelled();
}
