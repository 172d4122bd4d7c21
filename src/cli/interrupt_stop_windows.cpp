#include "cli/interrupt_stop.h"

#include <windows.h>

#include <atomic>

#include "support/errors.h"

namespace {

// The console calls the handler on a thread of its own.
std::atomic<int> stopAsked{0};
std::atomic<bool> served{false};

// The handler serves once, as SIGINT's does on Linux: the first Ctrl+C (or Ctrl+Break) asks
// to stop; a later one is left to the next handler, finally the default one, which ends the
// process.
BOOL WINAPI AskToStop(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (served.exchange(true)) return FALSE;
    stopAsked = 1;
    return TRUE;
}

}  // namespace

// Nothing of the previous state needs keeping: handlers are a stack on Windows.
struct TInterruptStop::TPrevious {};

TInterruptStop::TInterruptStop() {
    stopAsked = 0;
    served = false;
    SetConsoleCtrlHandler(AskToStop, TRUE);
}

TInterruptStop::~TInterruptStop() { SetConsoleCtrlHandler(AskToStop, FALSE); }

void StopIfAsked() {
    if (stopAsked.exchange(0) == 0) return;
    throw ECancelled();
}
