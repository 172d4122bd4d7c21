// What vpak-gui is started with: nothing, or the archive to open (a file manager passes the
// file a user opened), besides --help and --version.
#pragma once

#include <string>
#include <vector>

enum class TStartAction {
    Run,      // show the window, opening archive when one was given
    Help,     // print the usage on standard output
    Version,  // print the title line with the version
    Misused,  // print problem and the usage on standard error, exit 2
};

struct TStartArguments {
    TStartAction action = TStartAction::Run;
    std::string archive;  // the path's bytes as given; "" for none
    std::string problem;
};

// The usage text --help prints.
std::string StartUsageText();

// Whether the arguments after the program's name, as the program received them, ask only
// for the help or the version: Help or Version where one of those options comes before any
// "--", else Run. These are answered before the toolkit starts, which needs a display.
TStartAction InformationAsked(const std::vector<std::string>& arguments);

// The arguments after the program's name, those the toolkit takes for itself already taken
// out. "--" ends the options, so that a file whose name begins with "-" can be named.
TStartArguments ParseStartArguments(const std::vector<std::string>& arguments);
