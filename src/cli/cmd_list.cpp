#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "engine/archive_reader.h"
#include "support/display_text.h"

namespace {

struct ListOptions {
    bool xbox = false;
    std::string archive;
};

int RunList(const ListOptions& options) {
    TStringList listing;
    int32_t prefixLength = 0;
    int32_t suffixLength = 0;
    CommandNotices notices;
    const bool ok = ExtractArchive(options.xbox, options.archive, listing, prefixLength, suffixLength, "", false,
                                   false, nullptr, notices.Sink());
    if (ok) {
        // A name holding a line feed must not fake a line of its own.
        std::string out;
        for (const std::string& line : listing) {
            out += PrintableText(line);
            out += '\n';
        }
        std::cout << out;
    }
    return Outcome(ok, "", notices);
}

}  // namespace

void RegisterListCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<ListOptions>();
    CLI::App* sub = app.add_subcommand(
        "list", "List every file of ARCHIVE: directory position, data offset, absolute offset,\n"
                "packed size and unpacked size (8 hex digits each, followed by '*'), then the path.");
    sub->add_flag("--xbox", options->xbox, "The archive is an Xbox 360 (big-endian) archive");
    sub->add_option("ARCHIVE", options->archive, "The .PAK archive")->required();
    sub->callback([options, &exitStatus] { exitStatus = RunList(*options); });
}
