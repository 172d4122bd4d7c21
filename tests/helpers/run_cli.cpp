#include "helpers/run_cli.h"

#include <fcntl.h>
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

CliResult RunVpak(const std::vector<std::string>& args, const std::string& workingDir) {
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
    const int rc = SpawnVpak(args, actions, pid);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start vpak");
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
