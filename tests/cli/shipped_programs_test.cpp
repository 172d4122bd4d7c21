// The shipped programs carry no test hooks: vpak and vpak-gui link the hooks that do nothing
// (src/support/host_hooks.h), so neither reads the environment variables of the test hooks,
// nor even holds their names, and a stray one changes nothing. Their twin vpak-test-hooks,
// built from the same command-line sources, serves as the control. Nor do they carry the
// file-by-file replacement from a folder, which only the tests use (helpers/file_by_file.h).
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace {

// The start of every variable the test hooks read, put together here so that the text of
// this test is no evidence either way.
const std::string kTestVariablePrefix = std::string("VPAK_") + "TEST_";

// The whole content of a built program; fails the test when there is none.
std::string ProgramBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(bytes.empty()) << "cannot read " << path;
    return bytes;
}

void WriteSmallTree(const TempDir& dir) {
    WriteFile(dir / "src/data/level.bin", "level");
    WriteFile(dir / "src/readme.txt", "read me");
}

}  // namespace

TEST(ShippedPrograms, TheCommandLineHoldsNoNameOfATestHooksVariable) {
    EXPECT_EQ(ProgramBytes(VpakProgram(VpakBuild::Real)).find(kTestVariablePrefix), std::string::npos);
    // The scan finds the names where the test hooks are linked.
    EXPECT_NE(ProgramBytes(VpakProgram(VpakBuild::TestHooks)).find(kTestVariablePrefix), std::string::npos);
}

TEST(ShippedPrograms, TheWindowHoldsNoNameOfATestHooksVariable) {
#ifdef VPAK_GUI_PATH
    EXPECT_EQ(ProgramBytes(VPAK_GUI_PATH).find(kTestVariablePrefix), std::string::npos);
#else
    GTEST_SKIP() << "the window is not built (VPAK_BUILD_GUI=OFF)";
#endif
}

TEST(ShippedPrograms, NeitherProgramHoldsTheFileByFileReplacementOnlyTestsUse) {
    // Put together here too, so that only a program that links the function holds its name.
    const std::string name = std::string("ReplaceFromDirectory") + "FileByFile";
    EXPECT_EQ(ProgramBytes(VpakProgram(VpakBuild::Real)).find(name), std::string::npos);
#ifdef VPAK_GUI_PATH
    EXPECT_EQ(ProgramBytes(VPAK_GUI_PATH).find(name), std::string::npos);
#endif
    // The scan finds the name where the function is linked: in these tests.
    EXPECT_NE(ProgramBytes("/proc/self/exe").find(name), std::string::npos);
}

TEST(ShippedPrograms, TheCommandLineIgnoresAStrayFaultOrKill) {
    const std::vector<std::string> strays[] = {
        {kTestVariablePrefix + "FAULT=write:1:ENOSPC"},
        {kTestVariablePrefix + "KILL_AT=1"},
        {kTestVariablePrefix + "FAULT=write:1:ENOSPC", kTestVariablePrefix + "KILL_AT=1"},
    };
    for (const std::vector<std::string>& environment : strays) {
        SCOPED_TRACE(environment.back());
        TempDir dir;
        WriteSmallTree(dir);
        const CliResult made =
            RunVpakWithEnvironment(VpakBuild::Real, {"make", "-q", dir / "out.pak", dir / "src"}, environment);
        EXPECT_EQ(made.status, 0) << made.err;
        EXPECT_EQ(made.out, "O.K. Packed: 1 dirs and 2 files!\n");
        EXPECT_EQ(made.err, "");
        EXPECT_EQ(RunVpak({"list", dir / "out.pak"}).status, 0);

        // The twin takes the same variables as orders.
        const CliResult hooked =
            RunVpakWithEnvironment(VpakBuild::TestHooks, {"make", "-q", dir / "twin.pak", dir / "src"}, environment);
        EXPECT_NE(hooked.status, 0);
        EXPECT_TRUE(hooked.status == 3 || hooked.status == 128 + SIGKILL) << hooked.status << " " << hooked.err;
    }
}
