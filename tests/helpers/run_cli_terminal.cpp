#include "helpers/run_cli_terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace {

// Everything the terminal receives until the last writer has closed it.
std::string DrainTerminal(int master) {
    std::string received;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            received.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;  // EIO: no process holds the terminal open any more
    }
    return received;
}

}  // namespace

CliResult RunVpakOnTerminal(const std::vector<std::string>& args) {
    TempDir capture;
    const std::string outPath = capture / "out";

    int master = -1;
    int slave = -1;
    struct termios raw {};
    cfmakeraw(&raw);  // bytes arrive as written, without line-end translation
    if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, slave, STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, master);
    posix_spawn_file_actions_addclose(&actions, slave);

    pid_t pid = 0;
    const int rc = SpawnVpak(args, actions, pid);
    posix_spawn_file_actions_destroy(&actions);
    ::close(slave);
    if (rc != 0) {
        ::close(master);
        throw std::runtime_error("cannot start vpak");
    }
    CliResult result;
    result.err = DrainTerminal(master);
    ::close(master);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.status = ExitStatusOf(wstatus);
    result.out = ReadFileText(outPath);
    return result;
}
