// What vpak-gui makes of its command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/start_arguments.h"

namespace {

struct StartCase {
    const char* name;
    std::vector<std::string> arguments;
    TStartAction action;
    std::string archive;
};

class StartArguments : public ::testing::TestWithParam<StartCase> {};

}  // namespace

TEST_P(StartArguments, GiveTheActionAndTheArchive) {
    const TStartArguments start = ParseStartArguments(GetParam().arguments);
    EXPECT_EQ(start.action, GetParam().action);
    EXPECT_EQ(start.archive, GetParam().archive);
    EXPECT_EQ(start.problem.empty(), start.action != TStartAction::Misused) << start.problem;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartArguments,
    ::testing::Values(StartCase{"None", {}, TStartAction::Run, ""},
                      StartCase{"OneArchive", {"data/x.PAK"}, TStartAction::Run, "data/x.PAK"},
                      StartCase{"ANameWithADashAfterTheEndOfOptions", {"--", "-odd.pak"}, TStartAction::Run, "-odd.pak"},
                      StartCase{"Help", {"x.pak", "--help"}, TStartAction::Help, ""},
                      StartCase{"Version", {"--version"}, TStartAction::Version, ""},
                      StartCase{"TwoArchives", {"a.pak", "b.pak"}, TStartAction::Misused, ""},
                      StartCase{"AnUnknownOption", {"--bogus"}, TStartAction::Misused, ""},
                      StartCase{"AnEmptyName", {""}, TStartAction::Misused, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The options answered before the toolkit starts: only --help and --version, before "--".
TEST(StartArgumentsInformation, OnlyHelpAndVersionBeforeTheEndOfOptionsAreAnsweredAhead) {
    const struct {
        std::vector<std::string> arguments;
        TStartAction action;
    } cases[] = {
        {{}, TStartAction::Run},
        {{"x.pak"}, TStartAction::Run},
        {{"--help"}, TStartAction::Help},
        {{"-platform", "offscreen", "-h"}, TStartAction::Help},
        {{"x.pak", "--version"}, TStartAction::Version},
        {{"--", "--help"}, TStartAction::Run},
        {{"--bogus"}, TStartAction::Run},
    };
    for (const auto& c : cases) EXPECT_EQ(InformationAsked(c.arguments), c.action) << ::testing::PrintToString(c.arguments);
}
