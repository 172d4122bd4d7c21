#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/interrupt_stop.h"
#include "cli/progress_bar.h"
#include "engine/archive_reader.h"
#include "engine/outcome_texts.h"
#include "support/errors.h"
#include "support/host.h"
#include "support/number_text.h"
#include "support/paths.h"

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
    // As the window does: the target and its parents are created, and a target that still
    // does not exist makes the extraction fail.
    CreateFullDirPath(options.directory);
    TStringList listing;
    int32_t prefixLength = 0;
    int32_t suffixLength = 0;
    bool ok = false;
    CommandNotices notices;
    TInterruptStop stop;
    try {
        TerminalProgressBar bar(!options.quiet && host::StandardErrorIsTerminal(), std::cerr);
        ok = ExtractArchive(options.xbox, options.archive, listing, prefixLength, suffixLength, options.directory,
                            options.hash, !options.noLoc, stop.Watch(bar.Callback()), notices.Sink());
    } catch (const ECancelled&) {
        notices.Print();
        return Stopped(StoppedExtractionText(stop.ItemsReported()));
    }
    notices.Print();
    return Outcome(ok, "O.K. Successfully extracted " + GroupThousands(static_cast<int32_t>(listing.size())) +
                           " files!");
}

}  // namespace

void RegisterExtractCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<ExtractOptions>();
    CLI::App* sub = app.add_subcommand(
        "extract", "Extract every file of ARCHIVE below DIR, recreating its folders. DIR and its parents\n"
                   "are created; existing files of the same names are replaced without a question.\n"
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
