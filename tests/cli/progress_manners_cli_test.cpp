// Every command draws its progress as zstd does: on standard error only while it is a
// terminal, redrawn in place with "\r" and cleared at the end, and not at all with -q; the
// commands that have no progress to show draw nothing. What the command prints besides is the
// same on a terminal as anywhere else.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/archive_writer.h"
#include "helpers/run_cli.h"
#include "helpers/run_cli_terminal.h"
#include "helpers/temp_dir.h"

namespace {

// A fresh archive with "A" in args standing for it, and the files the commands take.
class ProgressManners : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir_ / "tree/f0.txt", "zero");
        WriteFile(dir_ / "tree/g.txt", "new");
        WriteFile(dir_ / "repl/f0.txt", "replaced");
        WriteFile(dir_ / "new.txt", "new content");
    }

    // args with "A" replaced by a new archive of its own, and "OUT" by a folder of its own.
    std::vector<std::string> OnFreshArchive(std::vector<std::string> args) {
        const std::string name = "x" + std::to_string(++archives_);
        const TestFolder root{"", {}, {{"f0.txt", Bytes("zero")}, {"f1.txt", Bytes("one")}}};
        WriteTestArchive(dir_ / (name + ".pak"), root);
        for (std::string& arg : args) {
            if (arg == "A") arg = dir_ / (name + ".pak");
            if (arg == "OUT") arg = dir_ / (name + "-out");
        }
        return args;
    }

    static std::vector<std::string> Quiet(std::vector<std::string> args) {
        args.insert(args.begin() + 1, "-q");
        return args;
    }

    TempDir dir_;
    int archives_ = 0;
};

TEST_F(ProgressManners, EveryCommandWithProgressDrawsItOnATerminalClearsItAndDrawsNothingWithQuiet) {
    const std::vector<std::vector<std::string>> commands = {
        {"add", "A", dir_ / "new.txt"},
        {"remove", "A", "f1.txt"},
        {"sync", "A", dir_ / "tree"},
        {"sync", "--dry-run", "A", dir_ / "tree"},
        {"diff", "A", dir_ / "tree"},
        {"replace-dir", "A", dir_ / "repl"},
        {"extract", "A", "OUT", "f0.txt"},
    };
    for (const auto& command : commands) {
        SCOPED_TRACE(command[0] + " " + command[1]);
        const CliResult plain = RunVpak(OnFreshArchive(command));
        const CliResult drawn = RunVpakOnTerminal(OnFreshArchive(command));
        EXPECT_EQ(drawn.status, plain.status) << drawn.err;
        EXPECT_EQ(drawn.out, plain.out);
        EXPECT_EQ(plain.err, "");
        ASSERT_FALSE(drawn.err.empty());
        EXPECT_EQ(drawn.err.front(), '\r') << drawn.err;
        EXPECT_EQ(drawn.err.back(), '\r') << "the line is cleared at the end: " << drawn.err;

        const CliResult quiet = RunVpakOnTerminal(OnFreshArchive(Quiet(command)));
        EXPECT_EQ(quiet.status, plain.status);
        EXPECT_EQ(quiet.out, plain.out);
        EXPECT_EQ(quiet.err, "");
    }
}

TEST_F(ProgressManners, CommandsWithoutProgressDrawNothingOnATerminal) {
    const std::vector<std::vector<std::string>> commands = {
        {"replace", "--path", "f0.txt", "A", dir_ / "new.txt"},
        {"list", "A"},
        {"cat", "A", "f0.txt"},
    };
    for (const auto& command : commands) {
        SCOPED_TRACE(command[0]);
        const CliResult plain = RunVpak(OnFreshArchive(command));
        const CliResult onTerminal = RunVpakOnTerminal(OnFreshArchive(command));
        EXPECT_EQ(onTerminal.status, 0);
        EXPECT_EQ(onTerminal.out, plain.out);
        EXPECT_EQ(onTerminal.err, "");
    }
}

}  // namespace
