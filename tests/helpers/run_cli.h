// Runs the real vpak executable and captures its exit status and both output streams.
#pragma once

#include <spawn.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
    int64_t peakMemoryBytes = 0;  // the largest resident set the process reached
    bool timedOut = false;        // killed (SIGKILL) at the end of its time limit
};

CliResult RunVpak(const std::vector<std::string>& args, const std::string& workingDir = "");

// One entry's content as `vpak cat` prints it; a failing cat fails the running test.
std::string CatEntry(const std::string& archive, const std::string& entry, bool xbox);

// RunVpak with standard output written to outFile and not read back: a large output then
// adds nothing to this process, whose memory the next child's peak would count (a child
// started by posix_spawn inherits its parent's peak until it execs).
CliResult RunVpakWritingTo(const std::vector<std::string>& args, const std::string& outFile);

// The same, killed once it has run limitSeconds: for tests where processes wait for each
// other, so that a deadlock fails the test in seconds instead of holding it until the
// runner's own time-out.
CliResult RunVpakWithin(const std::vector<std::string>& args, int limitSeconds);

// The same with the process's address space limited to limitKib KiB (ulimit -v), so that a
// large allocation fails in it.
CliResult RunVpakWithMemoryLimit(const std::vector<std::string>& args, int64_t limitKib);

// The two builds of the command line: the program vpak itself, which every test runs unless
// it says otherwise, and its twin vpak-test-hooks, built from the same sources with the test
// hooks (tests/hooks/host_test_hooks.h). Only the twin takes a fault from VPAK_TEST_FAULT or
// a kill from VPAK_TEST_KILL_AT.
enum class VpakBuild { Real, TestHooks };

// The absolute path of that build's executable.
std::string VpakProgram(VpakBuild build = VpakBuild::Real);

// Runs that build with the "NAME=value" variables of environment added to this process's.
CliResult RunVpakWithEnvironment(VpakBuild build, const std::vector<std::string>& args,
                                 const std::vector<std::string>& environment);

// Runs any program (command[0], an absolute path) with the "NAME=value" variables of
// environment added to this process's, capturing as RunVpak does.
CliResult RunProgram(const std::vector<std::string>& command, const std::vector<std::string>& environment = {});

// The strace program found on PATH, "" where it is not installed.
std::string StraceProgram();

// Runs vpak in workingDir under strace, every process and thread traced into a file of its
// own (strace -f -ff: tracePrefix.PID), strings shown whole; a sanitizer build's leak check,
// which cannot run under strace, is left out.
CliResult RunVpakTraced(const std::vector<std::string>& args, const std::string& tracePrefix,
                        const std::string& workingDir);

// The user and group the permission tests run vpak as: nobody, who owns nothing the tests make.
inline constexpr unsigned kOtherUser = 65534;

// True when this process may run vpak as another user (it runs as root, as CI does). Root
// passes every permission check, so only another user shows what permissions do.
bool CanRunAsOtherUser();

// Runs vpak as kOtherUser through setpriv, without supplementary groups.
CliResult RunVpakAsOtherUser(const std::vector<std::string>& args, const std::string& workingDir = "");

// Runs body in a child process that has become kOtherUser, and returns its exit status
// (body's result, or 128 + a signal).
int RunAsOtherUser(const std::function<int()>& body);

// Starts the vpak executable with args, its descriptors set up by actions. Returns
// posix_spawn's result; pid receives the process.
int SpawnVpak(const std::vector<std::string>& args, const posix_spawn_file_actions_t& actions, pid_t& pid);

// The status a shell reports for a process that ended with waitpid's status: its exit
// code, or 128 + the signal that ended it.
int ExitStatusOf(int waitStatus);
