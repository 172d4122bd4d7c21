// Ctrl+C (SIGINT) while vpak writes: it stops at its next report with the same clean-up as
// the window's Stop, says what it left, and exits with 130; nothing is left half written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "engine/reading/internal/opened_archive.h"
#include "engine/building/internal/staged_archive.h"
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

// Starts vpak, waits until moment(pid) holds, sends one SIGINT, and waits for the end.
TInterrupted InterruptWhenProcess(const std::vector<std::string>& args, const std::function<bool(pid_t)>& moment) {
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
        if (moment(pid)) {
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

// Starts vpak, waits until moment() holds, sends one SIGINT, and waits for the end.
TInterrupted InterruptWhen(const std::vector<std::string>& args, const std::function<bool()>& moment) {
    return InterruptWhenProcess(args, [&](pid_t) { return moment(); });
}

// True once the process has the file open. A command opens the archive in its operation, to
// lock it, so it watches Ctrl+C from before then if it ever does.
bool HasOpen(pid_t pid, const std::string& path) {
    const fs::path wanted = fs::canonical(path);
    std::error_code error;
    fs::directory_iterator descriptor("/proc/" + std::to_string(pid) + "/fd", error);
    for (; !error && descriptor != fs::directory_iterator(); descriptor.increment(error)) {
        std::error_code unreadable;
        if (fs::read_symlink(descriptor->path(), unreadable) == wanted) return true;
    }
    return false;
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

// Every command that looks into or writes the archive waits while another process holds it;
// Ctrl+C during that wait ends it as it ends the command at any later report.
class InterruptedWait : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTestArchive(Archive(), TestFolder{"", {}, {{"f0.txt", Bytes("zero")}, {"f1.txt", Bytes("one")}}});
        WriteFile(dir_ / "tree/f0.txt", "zero");
        WriteFile(dir_ / "tree/g.txt", "new");
        WriteFile(dir_ / "new.txt", "new content");
        fd_ = ::open(Archive().c_str(), O_RDONLY | O_CLOEXEC);  // the child must not inherit the lock
        ASSERT_EQ(::flock(fd_, LOCK_EX), 0);
    }
    void TearDown() override { ::close(fd_); }

    std::string Archive() const { return dir_ / "x.pak"; }

    TempDir dir_;
    int fd_ = -1;
};

TEST_F(InterruptedWait, EveryCommandSaysWhatItsStopLeftAndExitsWith130) {
    const std::string archive = Archive();
    const struct {
        std::vector<std::string> args;
        std::string err;  // "": Ctrl+C is not watched, the signal ends the command
    } cases[] = {
        {{"extract", archive, dir_ / "out"}, "Stopped: 0 files were extracted.\n"},
        {{"extract", archive, dir_ / "out", "f0.txt"}, "Stopped: 0 files were extracted.\n"},
        {{"make", archive, dir_ / "tree"}, "Stopped: nothing was written to the archive.\n"},
        {{"add", archive, dir_ / "new.txt"}, "Stopped: nothing was written to the archive.\n"},
        {{"remove", archive, "f1.txt"}, "Stopped: nothing was written to the archive.\n"},
        {{"sync", archive, dir_ / "tree"}, "Stopped: nothing was written to the archive.\n"},
        {{"sync", "--dry-run", archive, dir_ / "tree"}, "Stopped: nothing was written.\n"},
        {{"replace", "--path", "f0.txt", archive, dir_ / "new.txt"}, "Stopped: the archive is as it was before.\n"},
        {{"replace-dir", archive, dir_ / "tree"}, "Stopped: the archive is as it was before.\n"},
        {{"test", archive}, "Stopped: 0 files were tested.\n"},
        {{"diff", archive, dir_ / "tree"}, "Stopped: 0 files were compared.\n"},
        {{"list", archive}, ""},
        {{"cat", archive, "f0.txt"}, ""},
    };
    const std::string before = ReadFileText(archive);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const TInterrupted run = InterruptWhenProcess(c.args, [&](pid_t pid) { return HasOpen(pid, archive); });
        ASSERT_TRUE(run.reached) << run.err;
        EXPECT_EQ(run.status, 130);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(ReadFileText(archive), before);
        EXPECT_FALSE(fs::exists(dir_ / "out"));
    }
}
