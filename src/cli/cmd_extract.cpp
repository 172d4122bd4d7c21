#include <memory>
#include <string>
#include <vector>

#include "cli/archive_path_check.h"
#include "cli/commands.h"
#include "cli/operation_runner.h"
#include "engine/reading/archive_reader.h"
#include "engine/outcome_texts.h"
#include "engine/extraction/selective_extraction.h"

namespace {

struct ExtractOptions {
    bool xbox = false;
    bool hash = false;
    bool noLoc = false;
    bool quiet = false;
    std::string archive;
    std::string directory;
    std::vector<std::string> entries;
};

// An empty DIR is the current directory, as for replace-dir; the engine would take it for a
// listing without extraction.
std::string TargetOf(const ExtractOptions& options) { return options.directory.empty() ? "." : options.directory; }

// The files an extraction had finished when it was stopped stay, and are counted.
TRunManners ExtractManners(const ExtractOptions& options) {
    return {.drawProgress = !options.quiet, .stoppedText = StoppedExtractionText};
}

int RunSelectiveExtract(const ExtractOptions& options) {
    return RunOperation(
        ExtractManners(options),
        [&](const ProgressProc& progress, TNotices* notices) {
            return ExtractSelectedEntries({options.xbox, options.archive, TargetOf(options), options.entries,
                                           options.hash, !options.noLoc, progress, notices,
                                           TTargetFolder::CreateWithParents});
        },
        OutcomeLine([](const TSelectiveExtractionResult& extracted) {
            return ExtractedText(extracted.selectedCount);
        }));
}

int RunExtract(const ExtractOptions& options) {
    if (!options.entries.empty()) return RunSelectiveExtract(options);
    return RunOperation(
        ExtractManners(options),
        [&](const ProgressProc& progress, TNotices* notices) {
            TExtractRequest request;
            request.bigEndian = options.xbox;
            request.archivePath = options.archive;
            request.targetDir = TargetOf(options);
            request.hashTags = options.hash;
            request.convertLoc = !options.noLoc;
            request.progress = progress;
            request.notices = notices;
            // As the window does: the target and its parents are created once the archive has
            // been read, so that a missing or foreign archive leaves no folder behind.
            request.targetFolder = TTargetFolder::CreateWithParents;
            return ExtractArchive(request);
        },
        OutcomeLine([](const TExtractResult& extracted) { return ExtractedText(extracted.extractedCount); }));
}

}  // namespace

void RegisterExtractCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<ExtractOptions>();
    CLI::App* sub = app.add_subcommand(
        "extract", "Extract every file of ARCHIVE below DIR, recreating its folders, or with ENTRY paths\n"
                   "only the files they select (and only the folders those need). DIR and its parents\n"
                   "are created once ARCHIVE has been read (\"\" is the current directory); existing\n"
                   "files of the same names are replaced without a question.\n"
                   "Symbolic links below DIR are never followed; each file that fails is named, and so\n"
                   "is each ENTRY that selects nothing (exit status 1, the others are extracted).\n"
                   "An ENTRY that is empty, absolute or holds a \"..\" part is a usage error.");
    sub->add_flag("--xbox", options->xbox, "The archive is an Xbox 360 (big-endian) archive");
    sub->add_flag("--hash", options->hash,
                  "Put each file's hash tag into its name (name.[24 hex digits].ext), for replace-dir --hash");
    sub->add_flag("--no-loc", options->noLoc, "Write .loc string tables as they are stored, not as text");
    sub->add_flag("-q,--quiet", options->quiet, "No progress display");
    sub->add_option("ARCHIVE", options->archive, "The .PAK archive")->required();
    sub->add_option("DIR", options->directory, "The target directory")->required();
    sub->add_option("ENTRY", options->entries,
                    "Extract only these paths of the archive: any letter case, / or \\ between folders,\n"
                    "* and ? within one part, ** across parts; a folder selects everything below it")
        ->check(ArchivePathCheck());
    sub->callback([options, &exitStatus] { exitStatus = RunExtract(*options); });
}
