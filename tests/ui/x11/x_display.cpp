#include "x_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStartTimeout = std::chrono::seconds(15);
constexpr auto kStopTimeout = std::chrono::seconds(5);
constexpr auto kPollPause = std::chrono::milliseconds(50);
constexpr const char* kScreen = "1280x1024x24";
constexpr int kHandedOver = 3;

// The environment of this process with DISPLAY set to display (left out when empty).
std::vector<std::string> EnvironmentFor(const std::string& display) {
    std::vector<std::string> variables;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0) variables.emplace_back(*e);
    if (!display.empty()) variables.push_back("DISPLAY=" + display);
    return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts a program found on PATH with DISPLAY set to display; its output goes to the file
// log, and the descriptor handOver (when not -1) becomes descriptor 3. The program ends with
// this process, also when a test crashes. Returns the error that kept it from starting.
int Spawn(std::vector<std::string> command, const std::string& display, const std::string& log, int handOver,
          pid_t& pid) {
    std::vector<std::string> environment = EnvironmentFor(display);
    const std::vector<char*> argv = Pointers(command);
    const std::vector<char*> envp = Pointers(environment);
    const int output = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (output < 0) return errno;
    // The child reports a failed exec through this pipe, which a successful exec closes.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        const int error = errno;
        close(output);
        return error;
    }
    const pid_t parent = getpid();
    pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        dup2(output, STDOUT_FILENO);
        dup2(output, STDERR_FILENO);
        if (handOver == kHandedOver) fcntl(handOver, F_SETFD, 0);
        else if (handOver >= 0) dup2(handOver, kHandedOver);
        execvpe(argv[0], argv.data(), envp.data());
        const int error = errno;
        (void)!write(report[1], &error, sizeof error);
        _exit(127);
    }
    int error = pid < 0 ? errno : 0;
    close(output);
    close(report[1]);
    if (pid > 0 && read(report[0], &error, sizeof error) != static_cast<ssize_t>(sizeof error)) error = 0;
    close(report[0]);
    if (error != 0 && pid > 0) waitpid(pid, nullptr, 0);
    if (error != 0) pid = -1;
    return error;
}

bool StillRunning(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == 0; }

void Stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    const Clock::time_point deadline = Clock::now() + kStopTimeout;
    while (waitpid(pid, nullptr, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(kPollPause);
    }
    pid = -1;
}

}  // namespace

TXDisplay::~TXDisplay() {
    Stop(manager_);
    Stop(server_);
}

bool TXDisplay::Start() { return StartServer() && StartWindowManager(); }

bool TXDisplay::StartServer() {
    // Xvfb picks a free display number and writes it to the descriptor -displayfd names.
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0) {
        failure_ = std::string("no pipe for Xvfb: ") + std::strerror(errno);
        return false;
    }
    const std::string log = logs_ / "Xvfb.log";
    const int error = Spawn({"Xvfb", "-displayfd", std::to_string(kHandedOver), "-screen", "0", kScreen,
                             "-nolisten", "tcp"},
                            "", log, channel[1], server_);
    close(channel[1]);
    if (error != 0) {
        close(channel[0]);
        failure_ = std::string("Xvfb cannot be started: ") + std::strerror(error);
        return false;
    }

    std::string number;
    const Clock::time_point deadline = Clock::now() + kStartTimeout;
    while (number.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd ready{channel[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[32];
        const ssize_t got = read(channel[0], buffer, sizeof buffer);
        if (got <= 0) break;
        number.append(buffer, static_cast<size_t>(got));
    }
    close(channel[0]);
    if (number.find('\n') == std::string::npos) {
        Stop(server_);
        failure_ = "Xvfb did not start a display" + LogTail(log);
        return false;
    }
    name_ = ":" + number.substr(0, number.find('\n'));
    return true;
}

bool TXDisplay::StartWindowManager() {
    const std::string log = logs_ / "openbox.log";
    const int error = Spawn({"openbox", "--sm-disable"}, name_, log, -1, manager_);
    if (error != 0) {
        failure_ = std::string("openbox cannot be started: ") + std::strerror(error);
        return false;
    }
    // A window manager announces itself on the root window once it manages the screen.
    const Clock::time_point deadline = Clock::now() + kStartTimeout;
    while (Clock::now() < deadline) {
        if (!StillRunning(manager_)) {
            manager_ = -1;
            failure_ = "openbox ended at start" + LogTail(log);
            return false;
        }
        if (Xprop({"-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") != std::string::npos) return true;
        std::this_thread::sleep_for(kPollPause);
    }
    failure_ = "openbox did not take the screen" + LogTail(log);
    return false;
}

std::string TXDisplay::Xprop(const std::vector<std::string>& args) const {
    std::vector<std::string> command{"xprop", "-display", name_};
    command.insert(command.end(), args.begin(), args.end());
    const std::string out = logs_ / "xprop.out";
    pid_t pid = -1;
    const int error = Spawn(command, name_, out, -1, pid);
    if (error != 0) return std::string("xprop cannot be started: ") + std::strerror(error);
    waitpid(pid, nullptr, 0);
    return ReadFileText(out);
}

std::string TXDisplay::WindowProperty(unsigned long window, const std::string& property) const {
    std::ostringstream id;
    id << "0x" << std::hex << window;
    std::string shown = Xprop({"-id", id.str(), "-notype", property});
    while (!shown.empty() && shown.back() == '\n') shown.pop_back();
    const std::string found = property + " = ";
    if (shown.rfind(found, 0) == 0) return shown.substr(found.size());
    if (shown.rfind(property + ":  not found.", 0) == 0) return "not found";
    return shown;
}

std::string TXDisplay::LogTail(const std::string& log) const {
    std::ifstream in(log);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    return all.empty() ? std::string() : ": " + all.substr(all.size() > 600 ? all.size() - 600 : 0);
}
