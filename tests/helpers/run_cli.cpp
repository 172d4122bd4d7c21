#include "helpers/run_cli.h"

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "helpers/temp_dir.h"

#ifndef VPAK_CLI_PATH
#define VPAK_CLI_PATH "vpak"
#endif

extern char** environ;

namespace {

constexpr const char* kSetpriv = "/usr/bin/setpriv";

std::string VpakProgram() { return std::filesystem::absolute(VPAK_CLI_PATH).string(); }

int Spawn(const std::vector<std::string>& command, const posix_spawn_file_actions_t& actions, pid_t& pid) {
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return posix_spawn(&pid, command[0].c_str(), &actions, nullptr, argv.data(), environ);
}

std::vector<std::string> VpakCommand(const std::vector<std::string>& args) {
    std::vector<std::string> command{VpakProgram()};
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

CliResult RunCaptured(const std::vector<std::string>& command, const std::string& workingDir) {
    TempDir capture;
    const std::string outPath = capture / "out";
    const std::string errPath = capture / "err";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());

    pid_t pid = 0;
    const int rc = Spawn(command, actions, pid);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + command[0]);
    int wstatus = 0;
    struct rusage usage {};
    wait4(pid, &wstatus, 0, &usage);

    CliResult result;
    result.status = ExitStatusOf(wstatus);
    result.peakMemoryBytes = static_cast<int64_t>(usage.ru_maxrss) * 1024;  // reported in KiB
    result.out = ReadFileText(outPath);
    result.err = ReadFileText(errPath);
    return result;
}

}  // namespace

int SpawnVpak(const std::vector<std::string>& args, const posix_spawn_file_actions_t& actions, pid_t& pid) {
    return Spawn(VpakCommand(args), actions, pid);
}

int ExitStatusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

CliResult RunVpak(const std::vector<std::string>& args, const std::string& workingDir) {
    return RunCaptured(VpakCommand(args), workingDir);
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
