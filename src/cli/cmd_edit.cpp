#include <memory>
#include <string>
#include <vector>

#include "cli/archive_path_check.h"
#include "cli/commands.h"
#include "cli/lock_waiting.h"
#include "cli/operation_runner.h"
#include "engine/editing/archive_edit.h"
#include "engine/outcome_texts.h"

namespace {

struct AddOptions {
    bool xbox = false;
    bool noLoc = false;
    bool quiet = false;
    std::string folder;
    std::string archive;
    std::vector<std::string> paths;
};

struct RemoveOptions {
    bool xbox = false;
    bool quiet = false;
    std::string archive;
    std::vector<std::string> entries;
};

// A stopped edit removes what it had written, as a stopped build does.
TRunManners EditManners(bool quiet) {
    return {.drawProgress = !quiet, .stoppedText = StoppedSaying(kStoppedBuildText)};
}

int RunAdd(const AddOptions& options) {
    return RunOperation(
        EditManners(options.quiet),
        [&](const ProgressProc& progress, TNotices* notices) {
            return AddToArchive(
                {options.xbox, options.archive, options.paths, options.folder, !options.noLoc, progress, notices});
        },
        OutcomeLine([](const TEditResult& added) { return AddedText(added.counts.added, added.counts.replaced); }));
}

int RunRemove(const RemoveOptions& options) {
    return RunOperation(
        EditManners(options.quiet),
        [&](const ProgressProc& progress, TNotices* notices) {
            return RemoveFromArchive({options.xbox, options.archive, options.entries, progress, notices});
        },
        OutcomeLine([](const TEditResult& removed) {
            return RemovedText(removed.counts.removedFiles, removed.counts.removedFolders);
        }));
}

}  // namespace

void RegisterEditCommands(CLI::App& app, int& exitStatus) {
    auto add = std::make_shared<AddOptions>();
    CLI::App* addCommand = app.add_subcommand(
        "add", "Put files and folders into ARCHIVE, written anew with every other entry's stream\n"
               "copied as it is. A PATH that is a folder goes in under its own name with everything\n"
               "below it; written with a \"/\" at its end (or as \".\"), what it holds goes in without\n"
               "it. A file whose path the archive holds (in any letter case, \"/\" or \"\\\") replaces\n"
               "that entry's content and keeps its name; any other is added. Text files named *.loc\n"
               "are converted to string tables. A missing PATH, or a file where the archive has a\n"
               "folder of that name (or the reverse), fails the command before anything is written.\n"
               "A stream of the archive that is plainly damaged is copied as it is, and named.");
    addCommand->add_flag("--xbox", add->xbox, "The archive is an Xbox 360 (big-endian) archive");
    addCommand->add_flag("--no-loc", add->noLoc, "Store .loc files as they are");
    addCommand->add_option("--to", add->folder, "The folder inside the archive to put them in (default: its root)")
        ->check(ArchivePathCheck());
    addCommand->add_flag("-q,--quiet", add->quiet, "Show no progress");
    addCommand->add_option("ARCHIVE", add->archive, "The .PAK archive to change")->required();
    addCommand->add_option("PATH", add->paths, "Files and folders to put in")->required();
    AddNoWaitFlag(addCommand);
    addCommand->callback([add, &exitStatus] { exitStatus = RunAdd(*add); });

    auto remove = std::make_shared<RemoveOptions>();
    CLI::App* removeCommand = app.add_subcommand(
        "remove", "Take files, or folders with everything below them, out of ARCHIVE, written anew\n"
                  "with every other entry's stream copied as it is. ENTRY is matched as replace --path\n"
                  "matches (any letter case, \"/\" or \"\\\"); with a separator at its end it names only a\n"
                  "folder. A folder that held something and is left empty goes as well; a folder that\n"
                  "was empty before stays. An ENTRY that names nothing fails the command (exit 1)\n"
                  "and nothing is written.");
    removeCommand->add_flag("--xbox", remove->xbox, "The archive is an Xbox 360 (big-endian) archive");
    removeCommand->add_flag("-q,--quiet", remove->quiet, "Show no progress");
    removeCommand->add_option("ARCHIVE", remove->archive, "The .PAK archive to change")->required();
    removeCommand->add_option("ENTRY", remove->entries, "Paths inside the archive")->required()->check(ArchivePathCheck());
    AddNoWaitFlag(removeCommand);
    removeCommand->callback([remove, &exitStatus] { exitStatus = RunRemove(*remove); });
}
