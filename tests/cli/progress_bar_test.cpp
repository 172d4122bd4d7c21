// The command line's progress line, as a unit: what it draws for the reports it is given.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/progress_bar.h"

TEST(TerminalProgressBar, ControlBytesOfANameAreDrawnEscaped) {
    std::ostringstream terminal;
    {
        TerminalProgressBar bar(true, terminal);
        bar.Callback()({1, 2, "evil\x1b[2Jname\n"});
    }
    EXPECT_EQ(terminal.str().find('\x1b'), std::string::npos);
    EXPECT_EQ(terminal.str().find('\n'), std::string::npos);
    EXPECT_NE(terminal.str().find("evil<1B>[2Jname<0A>"), std::string::npos) << terminal.str();
}

TEST(TerminalProgressBar, AReportThatOnlyKeepsTheCommandAliveRedrawsNothing) {
    std::ostringstream terminal;
    TerminalProgressBar bar(true, terminal);
    const ProgressProc report = bar.Callback();
    report({1, 4, "data\\a.bin"});
    const std::string drawn = terminal.str();
    report({0, 0, "data\\a.bin"});  // the same text without position: a long step goes on
    EXPECT_EQ(terminal.str(), drawn);
    report({0, 0, "finalizing..."});  // a new phase is drawn at once
    EXPECT_NE(terminal.str().find("finalizing..."), std::string::npos);
}

// The line reads as it always has: a count below 65,535 items, and past that the percentage
// alone, rounded as a 16-bit position rounded it.
TEST(ProgressLine, ShowsTheCountBelowSixtyFiveThousandItemsAndThePercentageAlonePastIt) {
    const struct {
        TProgress progress;
        std::string line;
    } cases[] = {
        {{1, 3, nullptr}, "33% (1/3) a"},
        {{65534, 65534, nullptr}, "100% (65,534/65,534) a"},
        {{65535, 65535, nullptr}, "100% a"},
        {{1, 1000000, nullptr}, "0% a"},
        {{500000, 1000000, nullptr}, "50% a"},
        {{990000, 1000000, nullptr}, "99% a"},
        {{999990, 1000000, nullptr}, "100% a"},
        {{999999, 1000000, nullptr}, "100% a"},
        {{0, 0, nullptr}, "a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgressLine(c.progress, "a", 80), c.line) << c.progress.done << "/" << c.progress.total;
}

