#include <iostream>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/diff_views.h"
#include "cli/exit_status.h"
#include "cli/interrupt_stop.h"
#include "cli/outcome.h"
#include "cli/progress_bar.h"
#include "engine/archive_diff.h"
#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/number_text.h"

namespace {

struct DiffOptions {
    bool xbox = false;
    bool noLoc = false;
    bool json = false;
    bool quiet = false;
    std::string archive;
    std::string directory;
};

int RunDiff(const DiffOptions& options) {
    CommandNotices notices;
    TInterruptStop stop;
    TArchiveDiffResult compared;
    try {
        TerminalProgressBar bar(!options.quiet && host::StandardErrorIsTerminal(), std::cerr);
        const TArchiveDiffRequest request{options.xbox, options.archive, options.directory, !options.noLoc,
                                          stop.Watch(bar.Callback()), notices.Sink()};
        compared = DiffArchiveWithFolder(request);
    } catch (const ECancelled&) {
        return Stopped("Stopped: " + GroupThousands(stop.ItemsDone()) + " files were compared.", notices);
    }
    // As diff(1): trouble outranks a difference, and says so with its own status.
    if (!compared.ok) {
        notices.Print();
        return kExitRaised;
    }
    const TArchiveDiff& diff = compared.diff;
    std::cout << (options.json ? JsonDiff(diff) : DiffLines(diff)) << std::flush;
    notices.Print();
    if (!diff.complete) return kExitRaised;
    return diff.Same() ? kExitSuccess : kExitFailure;
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
