// The command line's progress line, as a unit: what it draws for the reports it is given.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/progress_bar.h"

TEST(TerminalProgressBar, ControlBytesOfANameAreDrawnEscaped) {
    std::ostringstream terminal;
    {
        TerminalProgressBar bar(true, terminal);
        bar.Callback()(PackProgress(2, 1), "evil\x1b[2Jname\n");
    }
    EXPECT_EQ(terminal.str().find('\x1b'), std::string::npos);
    EXPECT_EQ(terminal.str().find('\n'), std::string::npos);
    EXPECT_NE(terminal.str().find("evil<1B>[2Jname<0A>"), std::string::npos) << terminal.str();
}

TEST(TerminalProgressBar, AReportThatOnlyKeepsTheCommandAliveRedrawsNothing) {
    std::ostringstream terminal;
    TerminalProgressBar bar(true, terminal);
    const ProgressProc report = bar.Callback();
    report(PackProgress(4, 1), "data\\a.bin");
    const std::string drawn = terminal.str();
    report(0, "data\\a.bin");  // the same text without position: a long step goes on
    EXPECT_EQ(terminal.str(), drawn);
    report(0, "finalizing...");  // a new phase is drawn at once
    EXPECT_NE(terminal.str().find("finalizing..."), std::string::npos);
}
