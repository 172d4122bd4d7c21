#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/diff_views.h"
#include "cli/lock_waiting.h"
#include "cli/operation_runner.h"
#include "engine/editing/archive_sync.h"
#include "engine/outcome_texts.h"

namespace {

struct SyncOptions {
    bool xbox = false;
    bool noLoc = false;
    bool dryRun = false;
    bool quiet = false;
    std::string archive;
    std::string directory;
};

std::string CountsText(const TSyncResult& result, bool dryRun) {
    auto count = [&](TDifferenceKind kind) { return static_cast<int32_t>(result.Count(kind)); };
    return SyncedText(dryRun, count(TDifferenceKind::Added), count(TDifferenceKind::Changed),
                      count(TDifferenceKind::Removed), static_cast<int32_t>(result.unchanged));
}

// A dry run shows what would change, as diff does, in front of the counts.
std::string SyncedOutcome(const TSyncResult& result, bool dryRun) {
    return (dryRun ? DiffLines(result.diff) : std::string()) + CountsText(result, dryRun);
}

int RunSync(const SyncOptions& options) {
    return RunOperation(
        {.drawProgress = !options.quiet,
         .stoppedText = StoppedSaying(options.dryRun ? "Stopped: nothing was written." : kStoppedBuildText)},
        [&](const ProgressProc& progress, TNotices* notices) {
            return SyncArchiveWithFolder({options.xbox, options.archive, options.directory, !options.noLoc,
                                          options.dryRun, progress, notices});
        },
        OutcomeLine([&](const TSyncResult& synced) { return SyncedOutcome(synced, options.dryRun); }));
}

}  // namespace

void RegisterSyncCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<SyncOptions>();
    CLI::App* sub = app.add_subcommand(
        "sync", "Make ARCHIVE hold exactly the tree below DIR: afterwards it is the archive make would\n"
                "build from DIR, but each entry whose content DIR's file still holds (compared byte for\n"
                "byte after inflating, a .loc text as the table it becomes; never by size or time)\n"
                "keeps its stream, copied as it is. Paths pair up in any letter case. A damaged stream\n"
                "counts as changed and is compressed afresh from DIR. Prints how many files were\n"
                "added, changed, removed and left unchanged. Where ARCHIVE does not exist, this is make.");
    sub->add_flag("--xbox", options->xbox, "The archive is an Xbox 360 (big-endian) archive");
    sub->add_flag("--no-loc", options->noLoc, "Compare and store .loc files as they are, as make --no-loc");
    sub->add_flag("--dry-run", options->dryRun,
                  "Write nothing: print what would change, as diff prints it (\"A\", \"M\", \"D\" lines),\n"
                  "then the counts; fail as the real sync would, naming the files it could not read");
    sub->add_flag("-q,--quiet", options->quiet, "Show no progress");
    sub->add_option("ARCHIVE", options->archive, "The .PAK archive to bring up to date (or to create)")->required();
    sub->add_option("DIR", options->directory, "The folder it is to hold (\"\" is the current directory)")->required();
    AddNoWaitFlag(sub);
    sub->callback([options, &exitStatus] { exitStatus = RunSync(*options); });
}
