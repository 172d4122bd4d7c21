// The outcome line of a command and its exit status.
#pragma once

#include <string>

#include "cli/command_notices.h"

// Prints the outcome text on standard output for a true result (nothing when it is empty),
// "Error :-(" on standard error for a false one, and returns the exit status.
int Outcome(bool ok, const std::string& successText);

// Outcome, then the notices: the outcome line comes first, the reasons follow it.
int Outcome(bool ok, const std::string& successText, CommandNotices& notices);
