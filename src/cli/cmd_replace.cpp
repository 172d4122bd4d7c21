#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/lock_waiting.h"
#include "cli/operation_runner.h"
#include "engine/updating/archive_update.h"
#include "engine/format/hash_tag.h"
#include "engine/outcome_texts.h"
#include "engine/updating/replace_batch.h"

namespace {

struct ReplaceOptions {
    bool noLoc = false;
    bool xbox = false;
    std::string entryPath;
    std::string archive;
    std::string file;
};

struct ReplaceDirOptions {
    bool hash = false;
    bool noLoc = false;
    bool xbox = false;
    bool quiet = false;
    std::string archive;
    std::string dir;
};

// A stopped update is rolled back. replace shows no progress (it takes no -q).
TRunManners UpdateManners(bool drawProgress) {
    return {.drawProgress = drawProgress, .stoppedText = StoppedSaying(kStoppedUpdateText)};
}

int RunReplace(const ReplaceOptions& options, bool byPath) {
    // Without --path the file's name must carry the tag of the entry it replaces; the engine
    // refuses a name without one, and says so, before it touches the archive.
    const std::string key = byPath ? options.entryPath : HashTagFromFileName(options.file);
    return RunOperation(
        UpdateManners(false),
        [&](const ProgressProc& progress, TNotices* notices) {
            return ReplaceOneFile(
                {options.xbox, options.archive, options.file, key, !byPath, !options.noLoc, progress, notices});
        },
        OutcomeLine([](const TReplaceResult&) { return kUpdatedText; }));
}

int RunReplaceDir(const ReplaceDirOptions& options) {
    return RunOperation(
        UpdateManners(!options.quiet),
        [&](const ProgressProc& progress, TNotices* notices) {
            return ReplaceFromDirectory(
                {options.xbox, options.archive, options.dir, options.hash, !options.noLoc, progress, notices});
        },
        OutcomeLine([](const TReplaceResult& replaced) {
            return ReplacedFromDirectoryText(replaced.replacedCount, replaced.unchangedCount);
        }));
}

}  // namespace

// Both updates may have to move most of the archive; the journal never grows with it.
constexpr const char* kRollingForwardText =
    "\nAn update that moves more than 64 MiB of the archive (or more than half the disk's free\n"
    "space) rolls forward in pieces instead of saving what moves; once the pieces move,\n"
    "Ctrl+C waits for the end.";

void RegisterReplaceCommands(CLI::App& app, int& exitStatus) {
    auto one = std::make_shared<ReplaceOptions>();
    CLI::App* replace = app.add_subcommand(
        "replace", "Replace the stored content of one file of ARCHIVE (a PC archive) by FILE, in place.\n"
                   "The entry is the one whose hash tag FILE's name carries (name.[24 hex digits].ext),\n"
                   "or, with --path, the entry with that path inside the archive." +
                   std::string(kRollingForwardText));
    replace->add_flag("--no-loc", one->noLoc, "Store a .loc text file as it is instead of converting it to a table");
    replace->add_flag("--xbox", one->xbox, "The archive is an Xbox 360 archive (updating refuses these)");
    CLI::Option* pathOption =
        replace->add_option("--path", one->entryPath, "The entry's path inside the archive (case and / ignored)");
    replace->add_option("ARCHIVE", one->archive, "The .PAK archive to update")->required();
    replace->add_option("FILE", one->file, "The file with the new content")->required();
    AddNoWaitFlag(replace);
    replace->callback([one, pathOption, &exitStatus] { exitStatus = RunReplace(*one, pathOption->count() > 0); });

    auto dir = std::make_shared<ReplaceDirOptions>();
    CLI::App* replaceDir = app.add_subcommand(
        "replace-dir", "Replace, in place, every file of ARCHIVE (a PC archive) for which DIR holds a file\n"
                       "with the same relative path or, with --hash, with the entry's hash tag in its name.\n"
                       "Files without a counterpart, a second file for one entry, and files and folders\n"
                       "that cannot be read or whose names hold a backslash are skipped, named, and make\n"
                       "the command fail; the count is that of the entries replaced. An entry whose file\n"
                       "holds its content already is left as it is and counted apart. New content beyond\n"
                       "64 MiB compressed waits in the journal beside the archive, not in memory, and the\n"
                       "archive still moves once." +
                       std::string(kRollingForwardText));
    replaceDir->add_flag("--hash", dir->hash, "Match files by the hash tags in their names");
    replaceDir->add_flag("--no-loc", dir->noLoc, "Store .loc text files as they are instead of converting them");
    replaceDir->add_flag("--xbox", dir->xbox, "The archive is an Xbox 360 archive (updating refuses these)");
    replaceDir->add_flag("-q,--quiet", dir->quiet, "Draw no progress");
    replaceDir->add_option("ARCHIVE", dir->archive, "The .PAK archive to update")->required();
    replaceDir->add_option("DIR", dir->dir, "The directory holding the new files (\"\" is the current one)")
        ->required();
    AddNoWaitFlag(replaceDir);
    replaceDir->callback([dir, &exitStatus] { exitStatus = RunReplaceDir(*dir); });
}
