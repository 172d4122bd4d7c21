#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/operation_runner.h"
#include "engine/checking/entry_content.h"
#include "support/host_output.h"

namespace {

struct CatOptions {
    bool text = false;
    bool xbox = false;
    std::string archive;
    std::string entry;
};

int RunCat(const CatOptions& options) {
    host::TellClosedOutput();
    try {
        // The content is the output: no outcome line follows it. Ctrl+C is not watched: what
        // reached the output stays there whenever the command ends.
        return RunOperation(
            TRunManners{},
            [&](const ProgressProc& progress, TNotices* notices) {
                TEntryContentRequest request;
                request.bigEndian = options.xbox;
                request.archivePath = options.archive;
                request.entryPath = options.entry;
                request.locAsText = options.text;
                request.sink = [](const uint8_t* data, int64_t count) { host::WriteStandardOutput(data, count); };
                request.progress = progress;
                request.notices = notices;
                return WriteEntryContent(request);
            },
            SilentOutcome());
    } catch (const host::EClosedOutput&) {
        // The reader has what it wanted (`| head -c1`); nothing is wrong, nothing is said.
        return kExitClosedOutput;
    }
}

}  // namespace

void RegisterCatCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<CatOptions>();
    CLI::App* sub = app.add_subcommand(
        "cat", "Write the content of the file ENTRY of ARCHIVE to standard output, byte for byte, as it\n"
               "inflates. ENTRY is matched in any letter case, with / or \\ between the folders.\n"
               "A damaged stream ends the output where it breaks, with exit status 3 and the byte of the\n"
               "content named on standard error; a reader that closes the pipe early ends it quietly\n"
               "(exit status 141).");
    sub->add_flag("--text", options->text, "Write a .loc string table as text, as extract does");
    sub->add_flag("--xbox", options->xbox, "The archive is an Xbox 360 (big-endian) archive");
    sub->add_option("ARCHIVE", options->archive, "The .PAK archive")->required();
    sub->add_option("ENTRY", options->entry, "The file's path inside the archive")->required();
    sub->callback([options, &exitStatus] { exitStatus = RunCat(*options); });
}
