// Runs the real vpak executable and captures its exit status and both output streams.
#pragma once

#include <string>
#include <vector>

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

CliResult RunVpak(const std::vector<std::string>& args, const std::string& workingDir = "");
