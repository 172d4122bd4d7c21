// Runs the real vpak executable and captures its exit status and both output streams.
#pragma once

#include <spawn.h>

#include <string>
#include <vector>

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

CliResult RunVpak(const std::vector<std::string>& args, const std::string& workingDir = "");

// The unprivileged user (nobody) that runs vpak where permissions must bite: the tests run
// as root, whom no permission stops.
inline constexpr unsigned kOtherUser = 65534;

// RunVpak as kOtherUser, with no supplementary groups, through setpriv. Only root may do
// this; the files the run needs must be reachable by that user.
CliResult RunVpakAsOtherUser(const std::vector<std::string>& args);

// Starts the vpak executable with args, its descriptors set up by actions. Returns
// posix_spawn's result; pid receives the process.
int SpawnVpak(const std::vector<std::string>& args, const posix_spawn_file_actions_t& actions, pid_t& pid);

// The status a shell reports for a process that ended with waitpid's status: its exit
// code, or 128 + the signal that ended it.
int ExitStatusOf(int waitStatus);
