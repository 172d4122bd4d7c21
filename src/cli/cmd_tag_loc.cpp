// vpak tag, vpak loc2txt and vpak txt2loc: hash tags and .loc string tables, one file at a time.
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/operation_runner.h"
#include "engine/format/hash_tag.h"
#include "engine/format/loc_convert.h"
#include "support/file_replacing.h"
#include "support/whole_file.h"

namespace {

constexpr const char* kOutputNote =
    "An existing OUT is replaced only once its whole new content is on the disk;\n"
    "a pipe or terminal as OUT is written directly.";

struct LocOptions {
    bool xbox = false;
    std::string input;
    std::string output;
};

// OUT is written only once the conversion has succeeded, and replaced only once the whole
// new content is on the disk, so neither a failed conversion nor a full disk loses it.
void WriteOutput(const std::string& path, const TArrayOfByte& content) {
    host::WriteFileReplacing(path, content.data(), static_cast<int64_t>(content.size()));
}

// What a conversion gives: whether OUT was written.
struct TConversion {
    bool ok = false;
};

// Runs one conversion into OUT; the output is the file, so no outcome line follows it.
int RunConversion(const LocOptions& options, const std::function<bool(TArrayOfByte& buffer)>& convert) {
    return RunOperation(
        TRunManners{},
        [&](const ProgressProc&, TNotices*) {
            TArrayOfByte buffer;
            const TConversion converted{convert(buffer)};
            if (converted.ok) WriteOutput(options.output, buffer);
            return converted;
        },
        SilentOutcome());
}

int RunLocToText(const LocOptions& options) {
    return RunConversion(options, [&](TArrayOfByte& buffer) {
        return ReadWholeFile(options.input, buffer) && LocToText(options.xbox, buffer);
    });
}

int RunTextToLoc(const LocOptions& options) {
    return RunConversion(options,
                         [&](TArrayOfByte& buffer) { return TextToLoc(options.xbox, options.input, buffer); });
}

void AddLocArguments(CLI::App* sub, LocOptions& options, const char* inputText, const char* outputText) {
    sub->add_flag("--xbox", options.xbox, "Xbox 360 table: count and offsets are big-endian");
    sub->add_option("IN", options.input, inputText)->required();
    sub->add_option("OUT", options.output, outputText)->required();
}

}  // namespace

void RegisterTagCommand(CLI::App& app, int& exitStatus) {
    auto path = std::make_shared<std::string>();
    CLI::App* sub = app.add_subcommand(
        "tag", "Print the 24-digit hash tag of the archive path PATH (ASCII letters and '/'\n"
               "are folded to lower case and '\\'; the empty path has the all-zero tag).");
    sub->add_option("PATH", *path, "A path inside an archive, such as text\\menu.loc")->required();
    sub->callback([path, &exitStatus] {
        std::cout << TagToText(PathHashTag(*path)) << '\n';
        exitStatus = kExitSuccess;
    });
}

void RegisterLocCommands(CLI::App& app, int& exitStatus) {
    auto toText = std::make_shared<LocOptions>();
    CLI::App* loc2txt = app.add_subcommand(
        "loc2txt", "Convert the binary .loc string table IN into text OUT: one string per\n"
                   "CR LF line, control bytes, '\\' and '~' written as \\XX.\n" + std::string(kOutputNote));
    AddLocArguments(loc2txt, *toText, "The binary .loc table", "The text file to write");
    loc2txt->callback([toText, &exitStatus] { exitStatus = RunLocToText(*toText); });

    auto toLoc = std::make_shared<LocOptions>();
    CLI::App* txt2loc = app.add_subcommand(
        "txt2loc", "Convert the text IN (one string per line, \\XX or ~XX escapes) into the\n"
                   "binary .loc string table OUT.\n" + std::string(kOutputNote));
    AddLocArguments(txt2loc, *toLoc, "The text file", "The binary .loc table to write");
    txt2loc->callback([toLoc, &exitStatus] { exitStatus = RunTextToLoc(*toLoc); });
}
