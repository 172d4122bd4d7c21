#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/lock_waiting.h"
#include "cli/operation_runner.h"
#include "engine/building/archive_builder.h"
#include "engine/outcome_texts.h"

namespace {

struct MakeOptions {
    bool xbox = false;
    bool noLoc = false;
    bool quiet = false;
    std::string archive;
    std::string dir;
};

int RunMake(const MakeOptions& options) {
    return RunOperation(
        {.drawProgress = !options.quiet, .stoppedText = StoppedSaying(kStoppedBuildText)},
        [&](const ProgressProc& progress, TNotices* notices) {
            return MakeArchive({options.xbox, options.dir, options.archive, !options.noLoc, progress, notices});
        },
        OutcomeLine([](const TMakeResult& made) { return PackedText(made.folderCount, made.fileCount); }));
}

}  // namespace

void RegisterMakeCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<MakeOptions>();
    CLI::App* sub = app.add_subcommand(
        "make", "Build a new ARCHIVE from every folder and file below DIR, replacing any file of\n"
                "that name (never a device, FIFO or socket). Text files named *.loc are converted\n"
                "to the game's string tables. Files and folders that cannot be read, or whose\n"
                "names hold a backslash, are named and make the command fail (exit 1).");
    sub->add_flag("--xbox", options->xbox, "Build an Xbox 360 (big-endian) archive");
    sub->add_flag("--no-loc", options->noLoc, "Store .loc files as they are (for trees that hold binary tables)");
    sub->add_flag("-q,--quiet", options->quiet, "Show no progress");
    sub->add_option("ARCHIVE", options->archive, "The .PAK archive to create")->required();
    sub->add_option("DIR", options->dir, "The directory to pack")->required();
    AddNoWaitFlag(sub);
    sub->callback([options, &exitStatus] { exitStatus = RunMake(*options); });
}
