#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/interrupt_stop.h"
#include "cli/progress_bar.h"
#include "engine/archive_reader.h"
#include "engine/outcome_texts.h"
#include "support/errors.h"
#include "support/host_entries.h"
#include "support/number_text.h"

namespace {

struct ExtractOptions {
    bool xbox = false;
    bool hash = false;
    bool noLoc = false;
    bool quiet = false;
    std::string archive;
    std::string directory;
};

int RunExtract(const ExtractOptions& options) {
    // An empty DIR is the current directory, as for replace-dir; the engine would take it
    // for a listing without extraction.
    const std::string directory = options.directory.empty() ? "." : options.directory;
    TStringList listing;
    int32_t prefixLength = 0;
    int32_t suffixLength = 0;
    bool ok = false;
    CommandNotices notices;
    TInterruptStop stop;
    try {
        TerminalProgressBar bar(!options.quiet && host::StandardErrorIsTerminal(), std::cerr);
        // As the window does: the target and its parents are created once the archive has
        // been read, so that a missing or foreign archive leaves no folder behind.
        ok = ExtractArchive(options.xbox, options.archive, listing, prefixLength, suffixLength, directory,
                            options.hash, !options.noLoc, stop.Watch(bar.Callback()), notices.Sink(),
                            TTargetFolder::CreateWithParents);
    } catch (const ECancelled&) {
        return Stopped(StoppedExtractionText(stop.ItemsReported()), notices);
    }
    return Outcome(ok, ExtractedText(static_cast<int32_t>(listing.size())), notices);
}

}  // namespace

void RegisterExtractCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<ExtractOptions>();
    CLI::App* sub = app.add_subcommand(
        "extract", "Extract every file of ARCHIVE below DIR, recreating its folders. DIR and its parents\n"
                   "are created once ARCHIVE has been read (\"\" is the current directory); existing\n"
                   "files of the same names are replaced without a question.\n"
                   "Symbolic links below DIR are never followed; each file that fails is named.");
    sub->add_flag("--xbox", options->xbox, "The archive is an Xbox 360 (big-endian) archive");
    sub->add_flag("--hash", options->hash,
                  "Put each file's hash tag into its name (name.[24 hex digits].ext), for replace-dir --hash");
    sub->add_flag("--no-loc", options->noLoc, "Write .loc string tables as they are stored, not as text");
    sub->add_flag("-q,--quiet", options->quiet, "No progress display");
    sub->add_option("ARCHIVE", options->archive, "The .PAK archive")->required();
    sub->add_option("DIR", options->directory, "The target directory")->required();
    sub->callback([options, &exitStatus] { exitStatus = RunExtract(*options); });
}
