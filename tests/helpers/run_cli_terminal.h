// Runs the real vpak executable with standard error on a pseudo-terminal, as a user at a
// terminal would, to see what is drawn there.
#pragma once

#include <string>
#include <vector>

#include "helpers/run_cli.h"

// out is what standard output (a file) received; err is everything written to the terminal.
CliResult RunVpakOnTerminal(const std::vector<std::string>& args);
