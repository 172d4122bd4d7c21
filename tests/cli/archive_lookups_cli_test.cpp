// How often a command names its archive to the system, as strace sees the real executable: each
// lookup of the name costs time and is a moment in which another file can stand under it. A
// command looks its archive up once and works from what it found; the rest are the lock's
// look whether the name still stands for the file locked, and the rename that puts a new
// archive in place. And it reads (so inflates) the archive's directory once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kArchiveName = "a.pak";

struct TCommandCase {
    const char* name;
    std::vector<std::string> args;
    int mostLookups;
};

std::ostream& operator<<(std::ostream& out, const TCommandCase& c) { return out << c.name; }

// The strings of one line of strace's output, as strace writes them between quotes.
std::vector<std::string> QuotedStrings(const std::string& line) {
    std::vector<std::string> strings;
    for (size_t at = line.find('"'); at != std::string::npos; at = line.find('"', at + 1)) {
        std::string text;
        size_t end = at + 1;
        for (; end < line.size() && line[end] != '"'; ++end) {
            if (line[end] == '\\' && end + 1 < line.size()) text += line[end++];
            text += line[end];
        }
        strings.push_back(text);
        at = end;
    }
    return strings;
}

// The archive's path, as given or resolved: the bare name, or any path ending in "/" + it.
bool NamesTheArchive(const std::string& text) {
    return text == kArchiveName || text.ends_with("/" + kArchiveName);
}

struct TTraceCounts {
    int lookups = 0;      // system calls with the archive's path among their arguments
    int headerReads = 0;  // reads of 8 bytes at offset 0: the two words in front of the directory
    std::string lookupLines;
};

TTraceCounts CountTraces(const std::string& folder, const std::string& prefix) {
    static const std::regex headerRead(R"(^pread64\(\d+, ".*", 8, 0\)\s+= 8$)");
    TTraceCounts counts;
    for (const fs::directory_entry& file : fs::directory_iterator(folder)) {
        if (!file.path().filename().string().starts_with(prefix)) continue;
        std::ifstream in(file.path());
        for (std::string line; std::getline(in, line);) {
            // The command line merely holds the name; running vpak looks nothing up.
            if (line.starts_with("execve(")) continue;
            if (std::regex_match(line, headerRead)) ++counts.headerReads;
            for (const std::string& text : QuotedStrings(line)) {
                if (!NamesTheArchive(text)) continue;
                ++counts.lookups;
                counts.lookupLines += line.substr(0, 160) + "\n";
                break;
            }
        }
    }
    return counts;
}

// A 51-file archive made by make, beside the folders and files the commands take. No file
// here holds 8 bytes, so that the only 8-byte reads at offset 0 are of the archive's header.
class TracedCommand : public ::testing::TestWithParam<TCommandCase> {
protected:
    void SetUp() override {
        if (StraceProgram().empty())
            GTEST_SKIP() << "strace is not installed (Debian package strace, which tools/setup.sh installs)";
        for (int k = 1; k <= 25; ++k) {
            WriteFile(dir / ("src/d1/f" + std::to_string(k) + ".txt"), "first folder, file " + std::to_string(k));
            WriteFile(dir / ("src/d2/g" + std::to_string(k) + ".txt"), "second folder, file " + std::to_string(k));
        }
        WriteFile(dir / "src/top.txt", "the file at the top");
        const CliResult made = RunVpak({"make", "-q", kArchiveName, "src"}, dir.Path());
        ASSERT_EQ(made.status, 0) << made.err;
        // What add, replace, replace-dir and sync change.
        WriteFile(dir / "new/n.txt", "a file that is new to the archive");
        WriteFile(dir / "r.txt", "the new content of the third file");
        WriteFile(dir / "rd/d1/f3.txt", "the new content of the third file");
        WriteFile(dir / "src/d1/f4.txt", "the fourth file as it is now");
    }

    // Runs the command under strace; false (the test failed) when it did not succeed.
    TTraceCounts Trace() {
        const CliResult r = RunVpakTraced(GetParam().args, traces / "trace", dir.Path());
        if (r.err.find("ptrace") != std::string::npos) {
            ADD_FAILURE() << "strace cannot trace here: " << r.err;
            return {};
        }
        EXPECT_EQ(r.status, 0) << r.err;
        return CountTraces(traces.Path(), "trace");
    }

    TempDir dir;
    TempDir traces;
};

const TCommandCase kCommands[] = {
    {"list", {"list", kArchiveName}, 2},
    {"test", {"test", "-q", kArchiveName}, 2},
    {"cat", {"cat", kArchiveName, "d1/f1.txt"}, 2},
    {"extract", {"extract", "-q", kArchiveName, "out"}, 2},
    {"add", {"add", kArchiveName, "new"}, 4},
    {"remove", {"remove", kArchiveName, "d1/f2.txt"}, 4},
    {"sync", {"sync", kArchiveName, "src"}, 4},
    {"replace", {"replace", "--path", "d1/f3.txt", kArchiveName, "r.txt"}, 4},
    {"replace_dir", {"replace-dir", "-q", kArchiveName, "rd"}, 4},
};

}  // namespace

TEST_P(TracedCommand, NamesItsArchiveToTheSystemOnlyAFewTimes) {
    const TTraceCounts counts = Trace();
    EXPECT_LE(counts.lookups, GetParam().mostLookups) << counts.lookupLines;
    EXPECT_GT(counts.lookups, 0) << "the trace shows no lookup at all: it traced nothing";
}

INSTANTIATE_TEST_SUITE_P(EachCommand, TracedCommand, ::testing::ValuesIn(kCommands),
                         [](const ::testing::TestParamInfo<TCommandCase>& info) { return info.param.name; });

// An update in place used to read the directory a second time, to write through a descriptor
// of its own; the one it indexed under its lock is the same.
using TracedUpdate = TracedCommand;

TEST_P(TracedUpdate, ReadsTheArchivesDirectoryOnce) {
    EXPECT_EQ(Trace().headerReads, 1);
}

INSTANTIATE_TEST_SUITE_P(InPlace, TracedUpdate, ::testing::Values(kCommands[7], kCommands[8]),  // replace, replace-dir
                         [](const ::testing::TestParamInfo<TCommandCase>& info) { return info.param.name; });
