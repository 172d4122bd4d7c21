// vpak-gui --help and --version answer on a machine without any display, as a command line
// tool's do: the window's toolkit is not started for them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/outcome_texts.h"
#include "helpers/run_cli.h"

#ifdef VPAK_GUI_PATH

namespace {

// vpak-gui with no display of any kind in its environment and no platform chosen for it.
CliResult RunGuiWithoutDisplay(const std::vector<std::string>& args) {
    std::vector<std::string> command = {"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY",
                                        "-u", "QT_QPA_PLATFORM", VPAK_GUI_PATH};
    command.insert(command.end(), args.begin(), args.end());
    return RunProgram(command);
}

}  // namespace

TEST(GuiInformation, HelpAndVersionArePrintedWithoutADisplay) {
    const struct {
        std::vector<std::string> args;
        std::string firstLine;
    } cases[] = {
        {{"--help"}, "Usage: vpak-gui [ARCHIVE]"},
        {{"-h"}, "Usage: vpak-gui [ARCHIVE]"},
        {{"some.pak", "--help"}, "Usage: vpak-gui [ARCHIVE]"},
        {{"--version"}, kTitleLine},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const CliResult r = RunGuiWithoutDisplay(c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')), c.firstLine);
        EXPECT_EQ(r.err, "");
    }
}

#endif
