// Runs the real vpak executable and captures its exit status and both output streams.
#pragma once

#include <spawn.h>

#include <cstdint>
#include <string>
#include <vector>

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
    int64_t peakMemoryBytes = 0;  // the largest resident set the process reached
};

CliResult RunVpak(const std::vector<std::string>& args, const std::string& workingDir = "");

// Starts the vpak executable with args, its descriptors set up by actions. Returns
// posix_spawn's result; pid receives the process.
int SpawnVpak(const std::vector<std::string>& args, const posix_spawn_file_actions_t& actions, pid_t& pid);

// The status a shell reports for a process that ended with waitpid's status: its exit
// code, or 128 + the signal that ended it.
int ExitStatusOf(int waitStatus);
