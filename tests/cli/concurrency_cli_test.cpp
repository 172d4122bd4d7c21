// Several vpak processes on one archive: writers one after another, readers never seeing a
// half-made archive, and --no-wait for a writer that must not wait.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/building/internal/staging_file.h"
#include "helpers/run_cli.h"
#include "helpers/run_cli_terminal.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 8;

// Each command of these tests ends in well under a second, also while it waits for the
// others; one that waits longer waits for ever (a deadlock) and is killed, so that the test
// fails in seconds.
constexpr int kCommandLimitSeconds = 20;

CliResult RunWithinLimit(const std::vector<std::string>& args) {
    CliResult result = RunVpakWithin(args, kCommandLimitSeconds);
    EXPECT_FALSE(result.timedOut) << args[0] << " was still waiting after " << kCommandLimitSeconds
                                  << " s: the processes wait for each other";
    return result;
}

// Every file below root, by its path relative to root, with its content.
std::map<std::string, std::string> FilesBelow(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = ReadFileText(entry.path());
    return files;
}

class ManyProcesses : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < kFiles; ++i)
            WriteFile(dir_ / ("tree/f" + std::to_string(i) + ".txt"), std::string(1000 + i * 300, 'a' + i));
        ASSERT_EQ(RunVpak({"make", "-q", Archive(), dir_ / "tree"}).status, 0);
        // The updates: adds of new files, in-place replacements and removals of old ones,
        // each on paths of its own so that any order gives the same files.
        for (int i = 0; i < 3; ++i) {
            const std::string added = dir_ / ("new" + std::to_string(i) + ".txt");
            WriteFile(added, "added " + std::to_string(i));
            updates_.push_back({"add", "-q", "A", added});
        }
        for (int i = 0; i < 2; ++i) {
            const std::string folder = dir_ / ("repl" + std::to_string(i));
            WriteFile(folder + "/f" + std::to_string(i) + ".txt", std::string(5000, 'R' + i));
            updates_.push_back({"replace-dir", "-q", "A", folder});
        }
        for (int i = 6; i < kFiles; ++i) updates_.push_back({"remove", "-q", "A", "f" + std::to_string(i) + ".txt"});
    }

    std::string Archive() const { return dir_ / "x.pak"; }

    static std::vector<std::string> On(std::vector<std::string> args, const std::string& archive) {
        for (std::string& arg : args)
            if (arg == "A") arg = archive;
        return args;
    }

    TempDir dir_;
    std::vector<std::vector<std::string>> updates_;
};

TEST_F(ManyProcesses, WritersTogetherEndAsOneAfterAnotherAndReadersSeeOnlyWholeArchives) {
    // The same updates one after another, on a copy.
    const std::string alone = dir_ / "alone.pak";
    fs::copy_file(Archive(), alone);
    for (const auto& update : updates_) ASSERT_EQ(RunVpak(On(update, alone)).status, 0);

    std::atomic<bool> writing{true};
    std::vector<std::future<std::vector<CliResult>>> readers;
    for (const std::vector<std::string>& read : {std::vector<std::string>{"test", "-q", Archive()},
                                                  std::vector<std::string>{"list", Archive()},
                                                  std::vector<std::string>{"test", "-q", Archive()}}) {
        readers.push_back(std::async(std::launch::async, [&writing, read] {
            std::vector<CliResult> seen;
            while (writing) seen.push_back(RunWithinLimit(read));
            return seen;
        }));
    }
    std::vector<std::future<CliResult>> writers;
    for (const auto& update : updates_)
        writers.push_back(std::async(std::launch::async, [&, update] { return RunWithinLimit(On(update, Archive())); }));
    for (auto& writer : writers) {
        const CliResult result = writer.get();
        EXPECT_EQ(result.status, 0) << result.err;
    }
    writing = false;
    int reads = 0;
    for (auto& reader : readers)
        for (const CliResult& read : reader.get()) {
            ++reads;
            EXPECT_EQ(read.status, 0) << read.out << read.err;
        }
    EXPECT_GE(reads, 3);

    ASSERT_EQ(RunVpak({"extract", Archive(), dir_ / "together"}).status, 0);
    ASSERT_EQ(RunVpak({"extract", alone, dir_ / "sequential"}).status, 0);
    EXPECT_EQ(FilesBelow(dir_ / "together"), FilesBelow(dir_ / "sequential"));
    EXPECT_EQ(FilesBelow(dir_ / "together").size(), static_cast<size_t>(kFiles - 2 + 3));
}

TEST_F(ManyProcesses, BuildsOfOneTargetAtOnceBothSucceedAndTheLastOneStands) {
    WriteFile(dir_ / "other/g.txt", "the other tree");
    std::vector<std::future<CliResult>> builds;
    for (int i = 0; i < 4; ++i) {
        const std::string tree = i % 2 == 0 ? dir_ / "tree" : dir_ / "other";
        builds.push_back(std::async(std::launch::async, [this, tree] {
            return RunWithinLimit({"make", "-q", dir_ / "built.pak", tree});
        }));
    }
    for (auto& build : builds) {
        const CliResult result = build.get();
        EXPECT_EQ(result.status, 0) << result.err;
    }
    ASSERT_EQ(RunVpak({"extract", dir_ / "built.pak", dir_ / "out"}).status, 0);
    const auto built = FilesBelow(dir_ / "out");
    EXPECT_TRUE(built == FilesBelow(dir_ / "tree") || built == FilesBelow(dir_ / "other"));
    EXPECT_EQ(StagingPathsOf(dir_ / "built.pak"), std::vector<std::string>{});
}

TEST_F(ManyProcesses, BuildsAndEditsOfOneArchiveAtOnceNeverWaitForEachOther) {
    WriteFile(dir_ / "other/g.txt", "the other tree");
    for (int round = 0; round < 3; ++round) {
        std::vector<std::vector<std::string>> writes;
        for (int i = 0; i < 2; ++i) {
            writes.push_back({"make", "-q", Archive(), dir_ / (i == 0 ? "tree" : "other")});
            writes.push_back({"add", "-q", Archive(), dir_ / ("new" + std::to_string(i) + ".txt")});
        }
        writes.push_back({"remove", "-q", Archive(), "new0.txt"});
        std::vector<std::future<CliResult>> running;
        for (const auto& write : writes)
            running.push_back(std::async(std::launch::async, [write] { return RunWithinLimit(write); }));
        for (size_t i = 0; i < running.size(); ++i) {
            ASSERT_EQ(running[i].wait_for(std::chrono::seconds(60)), std::future_status::ready)
                << writes[i][0] << " still waits: the writers wait for each other";
            const CliResult result = running[i].get();
            // A remove that comes after a build took new0.txt away finds nothing to remove.
            if (writes[i][0] != "remove") {
                EXPECT_EQ(result.status, 0) << writes[i][0] << ": " << result.err;
            }
        }
        EXPECT_EQ(RunVpak({"test", "-q", Archive()}).status, 0);
    }
}

// The archive locked as another vpak holds it while it writes.
class HeldArchive : public ManyProcesses {
protected:
    void SetUp() override {
        ManyProcesses::SetUp();
        fd_ = ::open(Archive().c_str(), O_RDONLY | O_CLOEXEC);  // the children must not inherit the lock
        ASSERT_EQ(::flock(fd_, LOCK_EX), 0);
    }
    void TearDown() override { LetGo(); }
    void LetGo() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_ = -1;
};

TEST_F(HeldArchive, EveryWriterWithNoWaitFailsAtOnceLeavingTheArchiveAsItWas) {
    const std::string before = ReadFileText(Archive());
    for (const auto& update : updates_) {
        std::vector<std::string> args = On(update, Archive());
        args.insert(args.begin() + 1, "--no-wait");
        const CliResult result = RunVpak(args);
        EXPECT_EQ(result.status, 1) << args[0] << ": " << result.err;
        EXPECT_NE(result.err.find("Error :-("), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("another process is using it"), std::string::npos) << result.err;
    }
    EXPECT_EQ(ReadFileText(Archive()), before);
}

TEST_F(HeldArchive, AWriterWaitsSayingSoOnATerminalAndGoesOnOnceLetGo) {
    auto writer = std::async(std::launch::async, [&] { return RunVpakOnTerminal(On(updates_[0], Archive())); });
    EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    LetGo();
    const CliResult result = writer.get();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("waiting for another process to finish with"), std::string::npos) << result.err;
    EXPECT_EQ(RunVpak({"cat", Archive(), "new0.txt"}).out, "added 0");
}

// This test process, as the system names it to the others.
std::string ThisProcessText() {
    std::string command = ReadFileText("/proc/self/comm");
    if (!command.empty() && command.back() == '\n') command.pop_back();
    return "process " + std::to_string(::getpid()) + " (" + command + ")";
}

TEST_F(HeldArchive, AWriterWaitingTwoSecondsNamesTheProcessThatHoldsTheArchive) {
    auto writer = std::async(std::launch::async, [&] { return RunVpakOnTerminal(On(updates_[0], Archive())); });
    EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(2600)), std::future_status::timeout);
    LetGo();
    const CliResult result = writer.get();
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string told = "vpak: \"" + Archive() + "\" is held by " + ThisProcessText();
    EXPECT_NE(result.err.find(told), std::string::npos) << result.err;
}

TEST_F(HeldArchive, AWriterThatMayNotWaitNamesTheProcessThatHoldsTheArchive) {
    const CliResult result = RunVpak({"add", "--no-wait", "-q", Archive(), dir_ / "new0.txt"});
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.err.find("another process is using it: " + ThisProcessText()), std::string::npos) << result.err;
}

TEST_F(HeldArchive, CtrlCEndsTheWaitOfAWriterLeavingTheArchiveToTheOther) {
    const std::string before = ReadFileText(Archive());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string errPath = dir_ / "err";
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT, 0644);
    pid_t pid = 0;
    ASSERT_EQ(SpawnVpak(On(updates_[0], Archive()), actions, pid), 0);
    posix_spawn_file_actions_destroy(&actions);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(ExitStatusOf(status), 130);
    EXPECT_NE(ReadFileText(errPath).find("Stopped: nothing was written to the archive."), std::string::npos);
    EXPECT_EQ(ReadFileText(Archive()), before);
}

}  // namespace
