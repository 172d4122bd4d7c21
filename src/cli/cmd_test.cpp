#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/operation_runner.h"
#include "engine/checking/archive_check.h"
#include "support/display_text.h"
#include "support/count_text.h"
#include "support/number_text.h"

namespace {

struct TestOptions {
    bool xbox = false;
    bool quiet = false;
    std::string archive;
};

std::string CountText(int64_t count) { return GroupThousands(count); }

std::string FilesText(int64_t count) { return Counted(count, "file"); }

// Every bad entry on a line of its own, as the user types its path, then the summary.
std::string CheckReport(const TArchiveCheck& check) {
    std::string out;
    for (const TEntryFault& fault : check.faults)
        out += ArchivePathForUser(fault.path) + ": " + PrintableText(fault.reason) + "\n";
    if (check.Sound()) return out + "O.K. Tested " + FilesText(check.entryCount) + ": all sound.\n";
    return out + "Tested " + FilesText(check.entryCount) + ": " +
           CountText(static_cast<int64_t>(check.faults.size())) + " bad.\n";
}

int TestVerdict(const TArchiveCheck& check, CommandNotices& notices) {
    if (!check.opened) {
        // Nothing could be tested: the file cannot be read at all, as a raised error is.
        notices.Print();
        return kExitRaised;
    }
    // A file that reads as no archive is a bad one: its reason, and no files to report.
    if (!check.readsAsArchive) return Outcome(false, "", notices);
    std::cout << CheckReport(check) << std::flush;
    if (check.Sound()) return kExitSuccess;
    return Outcome(false, "", notices);
}

int RunTest(const TestOptions& options) {
    return RunOperation(
        {.drawProgress = !options.quiet, .stoppedText = StoppedAfterFiles("tested")},
        [&](const ProgressProc& progress, TNotices* notices) {
            return CheckArchive({options.xbox, options.archive, progress, notices});
        },
        TestVerdict);
}

}  // namespace

void RegisterTestCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<TestOptions>();
    CLI::App* sub = app.add_subcommand(
        "test", "Check everything a reader of ARCHIVE relies on, writing nothing: its header and directory,\n"
                "and of every file that its path is one extract would write, that its stream lies inside\n"
                "the archive, shares no bytes with another stream (unless both are the same stream), and\n"
                "inflates to exactly its recorded size, ending exactly at its packed size. Prints a line\n"
                "per bad file (path: reason), then a summary. Exit status 0 when sound, 1 when a file is\n"
                "bad or ARCHIVE is no archive (its header or directory does not read, or reads only in the\n"
                "other byte order), 3 when ARCHIVE cannot be read (missing, no file, an input/output error).");
    sub->add_flag("--xbox", options->xbox, "The archive is an Xbox 360 (big-endian) archive");
    sub->add_flag("-q,--quiet", options->quiet, "No progress display");
    sub->add_option("ARCHIVE", options->archive, "The .PAK archive")->required();
    sub->callback([options, &exitStatus] { exitStatus = RunTest(*options); });
}
