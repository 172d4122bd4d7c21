#include <iostream>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/diff_views.h"
#include "cli/exit_status.h"
#include "cli/operation_runner.h"
#include "engine/editing/archive_diff.h"

namespace {

struct DiffOptions {
    bool xbox = false;
    bool noLoc = false;
    bool json = false;
    bool quiet = false;
    std::string archive;
    std::string directory;
};

// As diff(1): trouble outranks a difference, and says so with its own status.
int DiffVerdict(const TArchiveDiffResult& compared, bool json, CommandNotices& notices) {
    if (!compared.ok) {
        notices.Print();
        return kExitRaised;
    }
    const TArchiveDiff& diff = compared.diff;
    std::cout << (json ? JsonDiff(diff) : DiffLines(diff)) << std::flush;
    notices.Print();
    if (!diff.complete) return kExitRaised;
    return diff.Same() ? kExitSuccess : kExitFailure;
}

int RunDiff(const DiffOptions& options) {
    return RunOperation(
        {.drawProgress = !options.quiet, .stoppedText = StoppedAfterFiles("compared")},
        [&](const ProgressProc& progress, TNotices* notices) {
            return DiffArchiveWithFolder(
                {options.xbox, options.archive, options.directory, !options.noLoc, progress, notices});
        },
        [&](const TArchiveDiffResult& compared, CommandNotices& notices) {
            return DiffVerdict(compared, options.json, notices);
        });
}

}  // namespace

void RegisterDiffCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<DiffOptions>();
    CLI::App* sub = app.add_subcommand(
        "diff", "Compare ARCHIVE with the folder DIR as make would pack it (the same files, the same\n"
                "names, the archive itself left out), writing nothing. Paths pair up in any letter case.\n"
                "Prints a line per path that differs: \"A path\" only in DIR, \"D path\" only in\n"
                "ARCHIVE, \"M path\" in both with other content (a .loc text as the table it becomes,\n"
                "unless --no-loc); nothing when they are the same. A file make could not store (one it\n"
                "may not read) is named on standard error instead. Exit status 0 the same, 1 they\n"
                "differ, 3 ARCHIVE or something below DIR cannot be read (named on standard error).");
    sub->add_flag("--xbox", options->xbox, "The archive is an Xbox 360 (big-endian) archive");
    sub->add_flag("--no-loc", options->noLoc, "Compare .loc files as they are, as make --no-loc stores them");
    sub->add_flag("--json", options->json,
                  "One JSON document: same, added, removed, changed (each path as list --json gives\n"
                  "it: {\"path\": ...}, with \"path_bytes\" where it is not UTF-8), archive_files, folder_files");
    sub->add_flag("-q,--quiet", options->quiet, "No progress display");
    sub->add_option("ARCHIVE", options->archive, "The .PAK archive")->required();
    sub->add_option("DIR", options->directory, "The folder (\"\" is the current directory)")->required();
    sub->callback([options, &exitStatus] { exitStatus = RunDiff(*options); });
}
