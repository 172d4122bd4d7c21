#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/list_views.h"
#include "cli/operation_runner.h"
#include "engine/reading/archive_entries.h"

namespace {

struct ListOptions {
    bool xbox = false;
    bool longForm = false;
    bool json = false;
    std::string archive;
};

void WriteListingAsAsked(const ListOptions& options, const TArchiveIndex& index) {
    if (options.json) WriteJsonListing(std::cout, index, options.xbox);
    else if (options.longForm) WriteLongListing(std::cout, index);
    else WriteListing(std::cout, index);
}

// What the listing is made from.
struct TListedArchive {
    bool ok = false;
    TArchiveIndex index;
};

int RunList(const ListOptions& options) {
    // Ctrl+C is not watched: the listing writes nothing that could be left half done.
    return RunOperation(
        TRunManners{},
        [&](const ProgressProc&, TNotices* notices) {
            TListedArchive listed;
            listed.ok = ReadArchiveIndex(options.xbox, options.archive, listed.index, notices);
            return listed;
        },
        [&](const TListedArchive& listed, CommandNotices& notices) {
            if (listed.ok) WriteListingAsAsked(options, listed.index);
            return Outcome(listed.ok, "", notices);
        });
}

}  // namespace

void RegisterListCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<ListOptions>();
    CLI::App* sub = app.add_subcommand(
        "list", "List every file of ARCHIVE: directory position, data offset, absolute offset,\n"
                "packed size and unpacked size (8 hex digits each, followed by '*'), then the path.\n"
                "--long shows size, packed size, ratio (packed as a share of the size) and path, sizes in\n"
                "B, KiB, MiB, GiB, then the totals; --json prints one JSON document (see vpak(1)).");
    sub->add_flag("--xbox", options->xbox, "The archive is an Xbox 360 (big-endian) archive");
    CLI::Option* longOption =
        sub->add_flag("-l,--long", options->longForm, "Size, packed size, ratio and path, then the totals");
    sub->add_flag("--json", options->json,
                  "One JSON document: flavour, every entry (path, offsets, sizes, hash tag), totals")
        ->excludes(longOption);
    sub->add_option("ARCHIVE", options->archive, "The .PAK archive")->required();
    sub->callback([options, &exitStatus] { exitStatus = RunList(*options); });
}
