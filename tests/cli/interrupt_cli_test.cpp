// Ctrl+C (SIGINT) while vpak writes: it stops at its next report with the same clean-up as
// the window's Stop, says what it left, and exits with 130; nothing is left half written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "engine/internal/opened_archive.h"
#include "engine/internal/staged_archive.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/random_bytes.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::seconds kPatience{60};

struct TInterrupted {
    int status = -1;
    std::string err;
    bool reached = false;  // the moment to interrupt came before vpak ended
};

// Starts vpak, waits until moment() holds, sends one SIGINT, and waits for the end.
TInterrupted InterruptWhen(const std::vector<std::string>& args, const std::function<bool()>& moment) {
    TempDir capture;
    const std::string errPath = capture / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (capture / "out").c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT, 0644);
    pid_t pid = 0;
    const int rc = SpawnVpak(args, actions, pid);
    posix_spawn_file_actions_destroy(&actions);
    TInterrupted result;
    if (rc != 0) return result;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    int wstatus = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, &wstatus, WNOHANG) == pid) {
            result.status = ExitStatusOf(wstatus);
            result.err = ReadFileText(errPath);
            return result;
        }
        if (moment()) {
            result.reached = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(pid, SIGINT);
    ::waitpid(pid, &wstatus, 0);
    result.status = ExitStatusOf(wstatus);
    result.err = ReadFileText(errPath);
    return result;
}

uintmax_t SizeOr0(const std::string& path) {
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    return error ? 0 : size;
}

}  // namespace

TEST(Interrupt, MakeStoppedWhileCompressingOrWritingLeavesTheOldArchiveAndNoNewFile) {
    TempDir dir;
    // One file large enough that compressing it takes a while, then many small ones: the
    // folders are stored in name order.
    WriteFile(dir / "src/a/large.bin", RandomBytes(24 << 20, 1));
    for (int i = 0; i < 600; ++i) WriteFile(dir / ("src/b/" + std::to_string(i)), RandomBytes(20000, 2 + i));
    WriteTestArchive(dir / "out.pak", TestFolder{"", {}, {{"old.txt", Bytes("old")}}});
    const TArrayOfByte old = ReadFileBytes(dir / "out.pak");
    // The build's own file, whatever random name it has.
    const auto staging = [&] {
        const std::vector<std::string> paths = StagingPathsOf(dir / "out.pak");
        return paths.empty() ? std::string() : paths.front();
    };

    const std::pair<const char*, std::function<bool()>> moments[] = {
        {"while the large file is compressed", [&] { return !staging().empty(); }},
        {"once streams are being written", [&] { return !staging().empty() && SizeOr0(staging()) > (24u << 20); }},
    };
    for (const auto& [when, moment] : moments) {
        const TInterrupted run = InterruptWhen({"make", "-q", dir / "out.pak", dir / "src"}, moment);
        ASSERT_TRUE(run.reached) << when;
        EXPECT_EQ(run.status, 130) << when;
        EXPECT_EQ(run.err, "Stopped: nothing was written to the archive.\n") << when;
        EXPECT_EQ(ReadFileBytes(dir / "out.pak"), old) << when;
        EXPECT_EQ(staging(), "") << when;
    }
}

TEST(Interrupt, ExtractStoppedKeepsWholeFilesAndSaysHowMany) {
    TempDir dir;
    TestFolder root;
    for (int i = 0; i < 400; ++i) root.files.push_back({"f" + std::to_string(1000 + i), RandomBytes(60000, 7 + i)});
    WriteTestArchive(dir / "x.pak", root);
    fs::create_directories(dir / "out");
    const auto count = [&] { return std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()); };

    const TInterrupted run = InterruptWhen({"extract", "-q", dir / "x.pak", dir / "out"}, [&] { return count() >= 20; });
    ASSERT_TRUE(run.reached);
    EXPECT_EQ(run.status, 130);
    const long written = count();
    EXPECT_LT(written, 400);
    EXPECT_EQ(run.err, "Stopped: " + std::to_string(written) + " files were extracted.\n");
    for (const auto& entry : fs::directory_iterator(dir / "out"))
        EXPECT_EQ(fs::file_size(entry.path()), 60000u) << entry.path();
}

TEST(Interrupt, ReplaceDirStoppedWhileWritingRollsTheArchiveBack) {
    TempDir dir;
    TestFolder root;
    root.files.push_back({"a-first.bin", RandomBytes(1000, 1)});
    for (int i = 0; i < 40; ++i) root.files.push_back({"tail" + std::to_string(10 + i), RandomBytes(1 << 20, 2 + i)});
    WriteTestArchive(dir / "x.pak", root);
    const TArrayOfByte old = ReadFileBytes(dir / "x.pak");
    WriteFile(dir / "new/a-first.bin", RandomBytes(5000, 99));  // grows: the whole tail moves
    const std::string journal = dir / ("x.pak" + std::string(kJournalSuffix));

    const TInterrupted run =
        InterruptWhen({"replace-dir", "-q", dir / "x.pak", dir / "new"}, [&] { return fs::exists(journal); });
    ASSERT_TRUE(run.reached);
    EXPECT_EQ(run.status, 130);
    EXPECT_EQ(run.err, "Stopped: the archive is as it was before.\n");
    EXPECT_EQ(ReadFileBytes(dir / "x.pak"), old);
    EXPECT_FALSE(fs::exists(journal));
}
