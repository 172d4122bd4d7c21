// Waiting for an archive that another process uses.
#pragma once

#include <CLI/CLI.hpp>

// While another process uses the archive, a command waits and says so on a terminal.
void TellLockWaits();
// --no-wait on a command that writes: it fails at once instead (exit 1).
void AddNoWaitFlag(CLI::App* command);
