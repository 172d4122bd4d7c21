#include "helpers/run_cli.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <grp.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "helpers/temp_dir.h"

#ifndef VPAK_CLI_PATH
#define VPAK_CLI_PATH "vpak"
#endif
#ifndef VPAK_TEST_HOOKS_CLI_PATH
#define VPAK_TEST_HOOKS_CLI_PATH "vpak-test-hooks"
#endif

extern char** environ;

namespace {

constexpr const char* kSetpriv = "/usr/bin/setpriv";

// This process's environment with the "NAME=value" variables of extra added (a name given
// in both takes extra's value).
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string variable = *e;
        const std::string name = variable.substr(0, variable.find('=') + 1);
        bool replaced = false;
        for (const std::string& added : extra) replaced = replaced || added.compare(0, name.size(), name) == 0;
        if (!replaced) environment.push_back(variable);
    }
    environment.insert(environment.end(), extra.begin(), extra.end());
    return environment;
}

int Spawn(const std::vector<std::string>& command, const posix_spawn_file_actions_t& actions, pid_t& pid,
          const std::vector<std::string>& extraEnvironment = {}) {
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (extraEnvironment.empty()) return posix_spawn(&pid, command[0].c_str(), &actions, nullptr, argv.data(), environ);
    const std::vector<std::string> environment = EnvironmentWith(extraEnvironment);
    std::vector<char*> envp;
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    return posix_spawn(&pid, command[0].c_str(), &actions, nullptr, argv.data(), envp.data());
}

std::vector<std::string> VpakCommand(const std::vector<std::string>& args, VpakBuild build = VpakBuild::Real) {
    std::vector<std::string> command{VpakProgram(build)};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

// A copy of the executable in a folder every user may enter, when the build's own path is
// closed to other users (a checkout in root's home, say).
std::string VpakForOtherUsers() {
    namespace fs = std::filesystem;
    const fs::path program = fs::absolute(VPAK_CLI_PATH);
    bool reachable = (fs::status(program).permissions() & fs::perms::others_exec) != fs::perms::none;
    for (fs::path p = program.parent_path(); p != p.root_path(); p = p.parent_path())
        reachable = reachable && (fs::status(p).permissions() & fs::perms::others_exec) != fs::perms::none;
    if (reachable) return program.string();
    static TempDir copy;
    const fs::path copied = fs::path(copy.Path()) / "vpak";
    if (!fs::exists(copied)) {
        fs::permissions(copy.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
        fs::copy_file(program, copied);
    }
    return copied.string();
}

// Waits for the process, and kills it once limitSeconds have passed (0: no limit); true when
// it had to be killed.
bool WaitWithin(pid_t pid, int limitSeconds, int& wstatus, struct rusage& usage) {
    if (limitSeconds <= 0) {
        wait4(pid, &wstatus, 0, &usage);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
    while (wait4(pid, &wstatus, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            wait4(pid, &wstatus, 0, &usage);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// outFile: where standard output goes instead of into the result ("" for the result).
CliResult RunCaptured(const std::vector<std::string>& command, const std::string& workingDir,
                      const std::vector<std::string>& extraEnvironment = {}, int limitSeconds = 0,
                      const std::string& outFile = "") {
    TempDir capture;
    const std::string outPath = outFile.empty() ? capture / "out" : outFile;
    const std::string errPath = capture / "err";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());

    pid_t pid = 0;
    const int rc = Spawn(command, actions, pid, extraEnvironment);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + command[0]);
    int wstatus = 0;
    struct rusage usage {};
    const bool timedOut = WaitWithin(pid, limitSeconds, wstatus, usage);

    CliResult result;
    result.timedOut = timedOut;
    result.status = ExitStatusOf(wstatus);
    result.peakMemoryBytes = static_cast<int64_t>(usage.ru_maxrss) * 1024;  // reported in KiB
    if (outFile.empty()) result.out = ReadFileText(outPath);
    result.err = ReadFileText(errPath);
    return result;
}

}  // namespace

std::string VpakProgram(VpakBuild build) {
    return std::filesystem::absolute(build == VpakBuild::TestHooks ? VPAK_TEST_HOOKS_CLI_PATH : VPAK_CLI_PATH)
        .string();
}

CliResult RunVpakWithEnvironment(VpakBuild build, const std::vector<std::string>& args,
                                 const std::vector<std::string>& environment) {
    return RunCaptured(VpakCommand(args, build), "", environment);
}

CliResult RunProgram(const std::vector<std::string>& command, const std::vector<std::string>& environment) {
    return RunCaptured(command, "", environment);
}

int SpawnVpak(const std::vector<std::string>& args, const posix_spawn_file_actions_t& actions, pid_t& pid) {
    return Spawn(VpakCommand(args), actions, pid);
}

int ExitStatusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

CliResult RunVpak(const std::vector<std::string>& args, const std::string& workingDir) {
    return RunCaptured(VpakCommand(args), workingDir);
}

CliResult RunVpakWritingTo(const std::vector<std::string>& args, const std::string& outFile) {
    return RunCaptured(VpakCommand(args), "", {}, 0, outFile);
}

std::string StraceProgram() {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string candidate = folders.substr(start, end - start) + "/strace";
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return "";
}

CliResult RunVpakTraced(const std::vector<std::string>& args, const std::string& tracePrefix,
                        const std::string& workingDir) {
    std::vector<std::string> command{StraceProgram(), "-f", "-ff", "-qq", "-s", "65536", "-o", tracePrefix,
                                     VpakProgram()};
    command.insert(command.end(), args.begin(), args.end());
    // LeakSanitizer stops the process's threads through ptrace at its end, which it cannot
    // under strace: a sanitizer build leaves leaks to the runs that are not traced.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    const std::string options = std::string(sanitizer != nullptr ? sanitizer : "") +
                                (sanitizer != nullptr && *sanitizer != '\0' ? ":" : "") + "detect_leaks=0";
    return RunCaptured(command, workingDir, {"ASAN_OPTIONS=" + options});
}

std::string CatEntry(const std::string& archive, const std::string& entry, bool xbox) {
    std::vector<std::string> args{"cat"};
    if (xbox) args.push_back("--xbox");
    args.push_back(archive);
    args.push_back(entry);
    const CliResult result = RunVpak(args);
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
}

CliResult RunVpakWithin(const std::vector<std::string>& args, int limitSeconds) {
    return RunCaptured(VpakCommand(args), "", {}, limitSeconds);
}

CliResult RunVpakWithMemoryLimit(const std::vector<std::string>& args, int64_t limitKib) {
    std::vector<std::string> command{"/bin/sh", "-c", "ulimit -v \"$0\" && exec \"$@\"", std::to_string(limitKib),
                                     VpakProgram()};
    command.insert(command.end(), args.begin(), args.end());
    return RunCaptured(command, "");
}

bool CanRunAsOtherUser() { return ::geteuid() == 0 && ::access(kSetpriv, X_OK) == 0; }

CliResult RunVpakAsOtherUser(const std::vector<std::string>& args, const std::string& workingDir) {
    const std::string id = std::to_string(kOtherUser);
    std::vector<std::string> command{kSetpriv, "--reuid=" + id, "--regid=" + id, "--clear-groups", "--",
                                     VpakForOtherUsers()};
    command.insert(command.end(), args.begin(), args.end());
    return RunCaptured(command, workingDir);
}

int RunAsOtherUser(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("cannot fork");
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kOtherUser, kOtherUser, kOtherUser) != 0 ||
            ::setresuid(kOtherUser, kOtherUser, kOtherUser) != 0)
            ::_exit(125);
        ::_exit(body());
    }
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    return ExitStatusOf(wstatus);
}
