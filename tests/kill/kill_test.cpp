// Kill tests: the command line updates (or builds) an archive and is killed with SIGKILL at
// moments spread over its whole run; after the next open (the real vpak's list, which rolls
// back an interrupted update) the archive must equal the old or the new one byte for byte,
// with no journal or staging file left beside it. The killed runs are those of
// vpak-test-hooks, the command line built with the test hooks, which alone takes
// VPAK_TEST_KILL_AT and VPAK_TEST_FAULT.
//
// Two kinds of kill: before the Nth operation the process makes (VPAK_TEST_KILL_AT; a write
// is cut in half first), N spread over every operation of an uninterrupted run; and after a
// random delay spread over the wall-clock time of an uninterrupted run, which also lands in
// the middle of system calls. VPAK_KILL_TRIALS sets the number of trials (default 20).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <thread>

#include "engine/building/archive_builder.h"
#include "engine/editing/archive_edit.h"
#include "engine/editing/archive_sync.h"
#include "engine/updating/archive_update.h"
#include "engine/updating/replace_batch.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/random_bytes.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"
#include "hooks/host_test_hooks.h"
#include "support/host_entries.h"
#include "helpers/operation_results.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

TArrayOfByte TextBytes(size_t n, std::mt19937& rng) {
    static const char* const kWords[] = {"the ", "quest ", "of ", "Veldane ", "begins ", "at ", "dawn. ", "\r\n"};
    std::string out;
    while (out.size() < n) out += kWords[rng() % 8];
    out.resize(n);
    return Bytes(out);
}

// The archive every update starts from: a dozen folders of incompressible and text files,
// about 9 MB, so that moving its data takes several 4 MiB blocks.
TestFolder StartTree() {
    std::mt19937 rng(20240611);
    TestFolder root;
    for (int f = 0; f < 6; ++f) {
        TestFolder folder{"f" + std::to_string(f), {}, {}};
        for (int i = 0; i < 4; ++i) {
            const std::string name = "file" + std::to_string(i);
            if (i % 2 == 0) folder.files.push_back({name + ".bin", RandomBytes(300000 + 10000 * i, rng)});
            else folder.files.push_back({name + ".txt", TextBytes(200000, rng)});
        }
        root.folders.push_back(folder);
    }
    root.files.push_back({"last.bin", RandomBytes(50000, rng)});
    return root;
}

// One update to be interrupted: the vpak arguments (ARCHIVE stands for the trial's archive),
// the archive before and after, and what an uninterrupted run costs.
struct Scenario {
    std::string name;
    std::vector<std::string> args;
    TArrayOfByte before;
    TArrayOfByte after;
    int64_t operations = 0;  // host operations of an uninterrupted run
    double seconds = 0;      // wall-clock time of an uninterrupted run of the executable
    // The free space the run is told of (none: what the disk has); a small one makes an
    // update roll forward.
    std::optional<int64_t> statedSpace;

    std::vector<std::string> Environment() const {
        if (!statedSpace) return {};
        return {"VPAK_TEST_AVAILABLE=" + std::to_string(*statedSpace)};
    }
};

const char* const kArchiveMark = "ARCHIVE";

std::vector<std::string> WithArchive(const std::vector<std::string>& args, const std::string& archive) {
    std::vector<std::string> out = args;
    for (std::string& a : out)
        if (a == kArchiveMark) a = archive;
    return out;
}

// Starts vpak-test-hooks with extra environment variables, its output thrown away.
pid_t StartVpak(const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string program = VpakProgram(VpakBuild::TestHooks);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
    for (const std::string& e : extraEnvironment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + program);
    return pid;
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Runs the scenario uninterrupted on a copy: the new archive and the run's duration.
void Calibrate(Scenario& scenario, const std::function<void(const std::string&)>& inProcessRun) {
    TempDir dir;
    const std::string archive = dir / "data.pak";
    std::vector<double> times;
    for (int run = 0; run < 3; ++run) {
        WriteFile(archive, scenario.before);
        const Clock::time_point start = Clock::now();
        const int status = WaitFor(StartVpak(WithArchive(scenario.args, archive), scenario.Environment()));
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 0) << scenario.name;
        scenario.after = ReadFileBytes(archive);
    }
    std::sort(times.begin(), times.end());
    scenario.seconds = times[1];
    ASSERT_NE(scenario.after, scenario.before) << scenario.name;

    // The same engine call in this process counts the operations the executable makes.
    WriteFile(archive, scenario.before);
    const int64_t start = host::hooks::OperationCount();
    {
        const host::hooks::StatedSpace space(scenario.statedSpace);
        inProcessRun(archive);
    }
    scenario.operations = host::hooks::OperationCount() - start;
    ASSERT_EQ(ReadFileBytes(archive), scenario.after) << scenario.name;
    ASSERT_GT(scenario.operations, 10) << scenario.name;
}

struct Tally {
    int oldOutcomes = 0;
    int newOutcomes = 0;
    int killed = 0;
    int killedOld = 0;
    int killedNew = 0;
};

// One interrupted run on a fresh copy, then the next open; checks the outcome.
void RunTrial(const Scenario& scenario, int64_t killAt, double delaySeconds, Tally& tally) {
    TempDir dir;
    const std::string archive = dir / "data.pak";
    WriteFile(archive, scenario.before);

    std::vector<std::string> environment = scenario.Environment();
    if (killAt > 0) environment.push_back("VPAK_TEST_KILL_AT=" + std::to_string(killAt));
    const pid_t pid = StartVpak(WithArchive(scenario.args, archive), environment);
    if (killAt == 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(delaySeconds));
        kill(pid, SIGKILL);
    }
    const int status = WaitFor(pid);
    const bool wasKilled = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    // A run the kill came too late for must have ended well.
    if (!wasKilled) {
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 0);
    }

    const CliResult listed = RunVpak({"list", archive});
    ASSERT_EQ(listed.status, 0) << listed.err;
    // Nothing left over was refused: a journal of ours always fits what the kill left.
    ASSERT_EQ(listed.err, "");
    const TArrayOfByte bytes = ReadFileBytes(archive);
    const bool isOld = bytes == scenario.before;
    const bool isNew = bytes == scenario.after;
    ASSERT_TRUE(isOld || isNew) << "torn archive, size " << bytes.size();
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path())) names.push_back(entry.path().filename().string());
    ASSERT_EQ(names, std::vector<std::string>{"data.pak"}) << "a file was left beside the archive";

    tally.oldOutcomes += isOld ? 1 : 0;
    tally.newOutcomes += isNew ? 1 : 0;
    if (!wasKilled) return;
    ++tally.killed;
    tally.killedOld += isOld ? 1 : 0;
    tally.killedNew += isNew ? 1 : 0;
}

int TrialCount() {
    const char* text = std::getenv("VPAK_KILL_TRIALS");
    const int count = text == nullptr ? 0 : std::atoi(text);
    return count > 0 ? count : 20;
}

bool ReplaceByPath(const std::string& archive, const std::string& file, const std::string& entry) {
    return ReplaceOneFile({.archivePath = archive, .filePath = file, .key = entry, .convertLoc = false}).ok;
}

// The archive a user restores from a backup after the killed update: the start tree with one
// file's content swapped for other bytes of its length, so that the backup has the archive's
// size and header but other streams.
TArrayOfByte BackupArchive() {
    TestFolder tree = StartTree();
    TestFile* file = FindTestFile(tree, "f5\\file0.bin");
    file->content = RandomBytes(file->content.size(), 99);
    return EncodedArchive(tree);
}

// Puts bytes into the file in place, as cp onto an existing file does: the inode stays.
void RestoreInPlace(const std::string& path, const TArrayOfByte& bytes) {
    const host::FileIdentity before = host::Stat(path).identity;
    WriteFile(path, bytes);
    ASSERT_EQ(host::Stat(path).identity, before);
}

std::vector<std::string> NamesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class KillTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        files_ = std::make_unique<TempDir>();
        std::mt19937 rng(7);
        const TestFolder start = StartTree();
        const TArrayOfByte before = EncodedArchive(start);
        const std::string dir = files_->Path();

        // A longer stream near the front: the directory keeps its length, or changes it
        // and moves the whole data area.
        WriteFile(dir + "/grow.bin", RandomBytes(450000, rng));
        // A shorter one in the middle, and one of exactly the old length (nothing moves).
        WriteFile(dir + "/shrink.txt", TextBytes(1000, rng));
        WriteFile(dir + "/same.bin", RandomBytes(320000, rng));
        // A directory of several replacements at once.
        WriteFile(dir + "/many/f0/file0.bin", RandomBytes(280000, rng));
        WriteFile(dir + "/many/f2/file1.txt", TextBytes(150000, rng));
        WriteFile(dir + "/many/f4/file2.bin", RandomBytes(320000, rng));
        WriteFile(dir + "/many/last.bin", RandomBytes(90000, rng));
        // The tree a build packs.
        WriteFile(dir + "/tree/a.bin", RandomBytes(600000, rng));
        WriteFile(dir + "/tree/sub/b.txt", TextBytes(400000, rng));

        const auto add = [&](const std::string& name, std::vector<std::string> args,
                             std::optional<int64_t> statedSpace = std::nullopt) {
            Scenario scenario;
            scenario.name = name;
            scenario.args = std::move(args);
            scenario.before = before;
            scenario.statedSpace = statedSpace;
            scenarios_.push_back(std::move(scenario));
        };
        add("grow", {"replace", "--no-loc", "--path", "f0\\file0.bin", kArchiveMark, dir + "/grow.bin"});
        add("shrink", {"replace", "--no-loc", "--path", "f3\\file1.txt", kArchiveMark, dir + "/shrink.txt"});
        add("same size", {"replace", "--no-loc", "--path", "f1\\file2.bin", kArchiveMark, dir + "/same.bin"});
        add("replace-dir", {"replace-dir", "-q", "--no-loc", kArchiveMark, dir + "/many"});
        add("make", {"make", "-q", "--no-loc", kArchiveMark, dir + "/tree"});
        // Edits write the archive anew, copying the streams they keep.
        add("add", {"add", "-q", "--no-loc", "--to", "f1", kArchiveMark, dir + "/tree/a.bin"});
        add("remove", {"remove", "-q", kArchiveMark, "f2"});
        add("sync", {"sync", "-q", "--no-loc", kArchiveMark, dir + "/tree"});
        // On a disk with 2 MiB free the grow replacement moves the data area in pieces.
        add("grow, rolling forward", {"replace", "--no-loc", "--path", "f0\\file0.bin", kArchiveMark, dir + "/grow.bin"},
            int64_t{2} << 20);

        const std::vector<std::function<void(const std::string&)>> runs{
            [dir](const std::string& a) { ReplaceByPath(a, dir + "/grow.bin", "f0\\file0.bin"); },
            [dir](const std::string& a) { ReplaceByPath(a, dir + "/shrink.txt", "f3\\file1.txt"); },
            [dir](const std::string& a) { ReplaceByPath(a, dir + "/same.bin", "f1\\file2.bin"); },
            [dir](const std::string& a) {
                int32_t count = 0;
                Replaced(ReplaceFromDirectory({.archivePath = a, .sourceDir = dir + "/many", .convertLoc = false}), count);
            },
            [dir](const std::string& a) {
                int32_t folders = 0;
                int32_t files = 0;
                Made(MakeArchive({.sourceDir = dir + "/tree", .archivePath = a, .convertLoc = false}), folders, files);
            },
            [dir](const std::string& a) {
                TEditCounts counts;
                Edited(AddToArchive({false, a, {dir + "/tree/a.bin"}, "f1", false, nullptr, nullptr}), counts);
            },
            [](const std::string& a) {
                TEditCounts counts;
                Edited(RemoveFromArchive({false, a, {"f2"}, nullptr, nullptr}), counts);
            },
            [dir](const std::string& a) {
                TSyncResult result;
                Synced(SyncArchiveWithFolder({false, a, dir + "/tree", false, false, nullptr, nullptr}), result);
            },
            [dir](const std::string& a) { ReplaceByPath(a, dir + "/grow.bin", "f0\\file0.bin"); },
        };
        for (size_t i = 0; i < scenarios_.size(); ++i) Calibrate(scenarios_[i], runs[i]);
    }

    static void TearDownTestSuite() {
        scenarios_.clear();
        files_.reset();
    }

    static std::unique_ptr<TempDir> files_;
    static std::vector<Scenario> scenarios_;
};

std::unique_ptr<TempDir> KillTest::files_;
std::vector<Scenario> KillTest::scenarios_;

}  // namespace

TEST_F(KillTest, ScenariosCoverEveryKindOfChange) {
    ASSERT_FALSE(HasFatalFailure());
    const auto header = [](const TArrayOfByte& bytes) { return ProbeHeaderSize(bytes); };
    const Scenario& grow = scenarios_[0];
    const Scenario& shrink = scenarios_[1];
    const Scenario& same = scenarios_[2];
    EXPECT_GT(grow.after.size(), grow.before.size());
    EXPECT_LT(shrink.after.size(), shrink.before.size());
    EXPECT_EQ(same.after.size(), same.before.size());
    // The grow replacement near the front moves almost every stream: the compressed
    // directory changes length, so the whole data area moves.
    EXPECT_NE(header(grow.after), header(grow.before));
    EXPECT_EQ(header(same.after), header(same.before));
    // Rolling forward in pieces gives the archive the saved way gives.
    EXPECT_EQ(scenarios_.back().after, grow.after);
}

TEST_F(KillTest, EveryInterruptedRunLeavesTheOldOrTheNewArchive) {
    ASSERT_FALSE(HasFatalFailure());
    const int trials = TrialCount();
    // The kill points are drawn from a seed that is printed, and taken from VPAK_KILL_SEED
    // when that is set, so that a failing run can be run again as it was.
    const char* given = std::getenv("VPAK_KILL_SEED");
    const unsigned seed = given != nullptr ? static_cast<unsigned>(std::stoul(given)) : std::random_device{}();
    std::printf("kill points drawn with seed %u (VPAK_KILL_SEED=%u draws them again)\n", seed, seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);

    Tally total;
    // At least two kills by operation each: one at random, one at the very last operation.
    const int perScenario = std::max(4, trials / static_cast<int>(scenarios_.size()));
    for (const Scenario& scenario : scenarios_) {
        SCOPED_TRACE(scenario.name);
        const int byOperation = (perScenario + 1) / 2;
        const int byTime = perScenario - byOperation;
        Tally tally;
        // Kill points spread evenly over every operation, one at random in each stratum; the
        // first falls in the first tenth, before an update that rolls forward is sealed, and
        // the last stratum ends with the run's very last operation.
        for (int k = 0; k < byOperation; ++k) {
            const double at = (k == byOperation - 1) ? 1.0
                              : k == 0               ? unit(rng) / 10
                                                     : (k + unit(rng)) / byOperation;
            const auto n = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(at * static_cast<double>(scenario.operations))));
            SCOPED_TRACE("killed before operation " + std::to_string(n) + " of " + std::to_string(scenario.operations));
            RunTrial(scenario, n, 0, tally);
            if (HasFatalFailure()) return;
        }
        // Kill moments spread evenly over the run's wall-clock time.
        for (int k = 0; k < byTime; ++k) {
            const double delay = (k + unit(rng)) / byTime * scenario.seconds * 1.05;
            SCOPED_TRACE("killed after " + std::to_string(delay * 1000) + " ms of " +
                         std::to_string(scenario.seconds * 1000) + " ms");
            RunTrial(scenario, 0, delay, tally);
            if (HasFatalFailure()) return;
        }
        std::printf("%-12s %3d trials: %3d killed (old %3d, new %3d); outcomes old %3d, new %3d; %lld operations, %.1f ms\n",
                    scenario.name.c_str(), perScenario, tally.killed, tally.killedOld, tally.killedNew,
                    tally.oldOutcomes, tally.newOutcomes, static_cast<long long>(scenario.operations),
                    scenario.seconds * 1000);
        total.killed += tally.killed;
        total.killedOld += tally.killedOld;
        total.killedNew += tally.killedNew;
        // Killed at its very last operation, each run has already committed.
        EXPECT_GE(tally.killedNew, 1);
        EXPECT_GE(tally.killedOld, 1);
    }
    EXPECT_GE(total.killed, trials / 2);
}

TEST_F(KillTest, BackupRestoredAfterAKilledUpdateIsLeftAsItWas) {
    ASSERT_FALSE(HasFatalFailure());
    const TArrayOfByte backup = BackupArchive();
    ASSERT_EQ(backup.size(), scenarios_[0].before.size());
    ASSERT_NE(backup, scenarios_[0].before);
    const int perScenario = std::max(3, TrialCount() / 5);
    int journalsLeft = 0;
    for (size_t i = 0; i < 4; ++i) {  // the updates, not the build
        const Scenario& scenario = scenarios_[i];
        SCOPED_TRACE(scenario.name);
        for (int k = 1; k <= perScenario; ++k) {
            const int64_t n = std::max<int64_t>(1, scenario.operations * k / (perScenario + 1));
            SCOPED_TRACE("killed before operation " + std::to_string(n));
            TempDir dir;
            const std::string archive = dir / "data.pak";
            WriteFile(archive, scenario.before);
            WaitFor(StartVpak(WithArchive(scenario.args, archive), {"VPAK_TEST_KILL_AT=" + std::to_string(n)}));
            journalsLeft += fs::exists(archive + ".vpak-journal") ? 1 : 0;

            RestoreInPlace(archive, backup);
            const CliResult listed = RunVpak({"list", archive});
            ASSERT_EQ(listed.status, 0) << listed.err;
            ASSERT_EQ(ReadFileBytes(archive), backup) << "the journal of the killed update was applied to the backup";
            ASSERT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"data.pak"});
        }
    }
    EXPECT_GE(journalsLeft, 1);
}

TEST_F(KillTest, UpdateThroughAHardLinkIsNotUndoneByAJournalLeftUnderTheOtherName) {
    ASSERT_FALSE(HasFatalFailure());
    const Scenario& grow = scenarios_[0];
    const Scenario& shrink = scenarios_[1];
    TempDir dir;
    const std::string first = dir / "data.pak";
    const std::string second = dir / "same.pak";
    WriteFile(first, grow.before);
    fs::create_hard_link(first, second);

    // An update through the first name that cannot remove its journal rolls itself back and
    // leaves the journal behind.
    WaitFor(StartVpak(WithArchive(grow.args, first), {"VPAK_TEST_FAULT=remove:1:EIO:persistent"}));
    ASSERT_TRUE(fs::exists(first + ".vpak-journal"));
    ASSERT_EQ(ReadFileBytes(first), grow.before);

    ASSERT_EQ(WEXITSTATUS(WaitFor(StartVpak(WithArchive(shrink.args, second), {}))), 0);
    ASSERT_EQ(ReadFileBytes(second), shrink.after);

    const CliResult listed = RunVpak({"list", first});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(ReadFileBytes(first), shrink.after);
    EXPECT_NE(listed.err.find("did not apply the journal"), std::string::npos) << listed.err;
    EXPECT_EQ(NamesIn(dir.Path()), (std::vector<std::string>{"data.pak", "same.pak"}));
}
