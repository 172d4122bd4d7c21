#include "helpers/run_cli.h"

#include <fcntl.h>
#include <spawn.h>
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

int SpawnVpak(const std::vector<std::string>& args, const posix_spawn_file_actions_t& actions, pid_t& pid) {
    const std::string program = std::filesystem::absolute(VPAK_CLI_PATH).string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
}

int ExitStatusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

namespace {

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

// Runs program with argv (argv[0] included), standard output and error captured.
CliResult RunCaptured(const std::string& program, const std::vector<std::string>& args, const std::string& workingDir) {
    TempDir capture;
    const std::string outPath = capture / "out";
    const std::string errPath = capture / "err";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());

    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + program);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);

    CliResult result;
    result.status = ExitStatusOf(wstatus);
    result.out = ReadFileText(outPath);
    result.err = ReadFileText(errPath);
    return result;
}

}  // namespace

CliResult RunVpak(const std::vector<std::string>& args, const std::string& workingDir) {
    const std::string program = std::filesystem::absolute(VPAK_CLI_PATH).string();
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCaptured(program, argv, workingDir);
}

CliResult RunVpakAsOtherUser(const std::vector<std::string>& args) {
    const std::string user = std::to_string(kOtherUser);
    std::vector<std::string> argv{"setpriv", "--reuid=" + user, "--regid=" + user, "--clear-groups", "--",
                                  VpakForOtherUsers()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCaptured("setpriv", argv, "");
}
