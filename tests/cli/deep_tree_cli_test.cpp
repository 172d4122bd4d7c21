// Trees nested deeper than a path to their bottom can be long: every command walks them,
// reads their files and builds from them as it does any tree, and an archive of hundreds
// of thousands of nested folders is edited without the stack overflowing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "helpers/deep_trees.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"
#include "support/number_text.h"

namespace {

bool EveryLevel(int) { return true; }

// A file at the top, two in the middle, one at the bottom of a chain this deep.
constexpr int kExtractedDepth = 20000;
bool SomeLevels(int level) { return level == 0 || level == 7000 || level == 13001 || level == kExtractedDepth; }

// Each level adds "d/" to the paths below it: at this depth they are longer than PATH_MAX.
constexpr int kHostDepth = 3000;

class DeepTree : public ::testing::Test {
protected:
    std::string Tree() const { return dir_ / "tree"; }
    std::string Archive() const { return dir_ / "deep.pak"; }

    DeepTreePlace dir_;
};

TEST_F(DeepTree, MakeOfAHostTreeDeeperThanAPathCanBeLongWritesTheArchiveOfItsFoldersInBothByteOrders) {
    ASSERT_EQ(::mkdir(Tree().c_str(), 0755), 0);
    MakeFolderChain(Tree(), kHostDepth, EveryLevel);
    for (const bool xbox : {false, true}) {
        std::vector<std::string> args{"make", "-q"};
        if (xbox) args.push_back("--xbox");
        args.insert(args.end(), {Archive(), Tree()});
        const CliResult made = RunVpak(args);
        EXPECT_EQ(made.status, 0) << made.err.substr(0, 300);
        EXPECT_EQ(made.out, "O.K. Packed: 3,000 dirs and 3,001 files!\n");
        EXPECT_TRUE(ReadFileBytes(Archive()) == FolderChainArchive(kHostDepth, EveryLevel, xbox)) << xbox;
    }
}

TEST_F(DeepTree, DiffAndSyncReadTheFilesOfAHostTreeDeeperThanAPathCanBeLong) {
    ASSERT_EQ(::mkdir(Tree().c_str(), 0755), 0);
    MakeFolderChain(Tree(), kHostDepth, EveryLevel);
    WriteFile(Archive(), FolderChainArchive(kHostDepth, EveryLevel, false));
    const CliResult same = RunVpak({"diff", Archive(), Tree()});
    EXPECT_EQ(same.status, 0) << same.err.substr(0, 300);
    EXPECT_EQ(same.out, "");

    // The file at the bottom goes: sync keeps the streams of every other file, each read
    // and compared through a path past PATH_MAX.
    RemoveDeepTree(Tree());
    ASSERT_EQ(::mkdir(Tree().c_str(), 0755), 0);
    MakeFolderChain(Tree(), kHostDepth, [](int level) { return level != kHostDepth; });
    const CliResult changed = RunVpak({"sync", Archive(), Tree()});
    EXPECT_EQ(changed.status, 0) << changed.err.substr(0, 300);
    EXPECT_EQ(changed.out, "O.K. Synchronized: 0 added, 0 changed, 1 removed, 3,000 unchanged files!\n");
    EXPECT_TRUE(ReadFileBytes(Archive()) ==
                FolderChainArchive(kHostDepth, [](int level) { return level != kHostDepth; }, false));
}

// The tree is made as extract makes it (extracting one this deep takes seconds of its own).
TEST_F(DeepTree, AnArchiveTwentyThousandFoldersDeepDiffsCleanWithItsExtractedTreeAndReplacesFromIt) {
    WriteFile(Archive(), FolderChainArchive(kExtractedDepth, SomeLevels, false));
    ASSERT_EQ(::mkdir(Tree().c_str(), 0755), 0);
    MakeFolderChain(Tree(), kExtractedDepth, SomeLevels);

    const CliResult diff = RunVpak({"diff", Archive(), Tree()});
    EXPECT_EQ(diff.status, 0) << diff.err.substr(0, 300);
    EXPECT_EQ(diff.out, "");
    const CliResult replaced = RunVpak({"replace-dir", "-q", Archive(), Tree()});
    EXPECT_EQ(replaced.status, 0) << replaced.err.substr(0, 300);
    EXPECT_EQ(replaced.out, "O.K. Nothing to update: 4 unchanged files left as they were.\n");
    EXPECT_TRUE(ReadFileBytes(Archive()) == FolderChainArchive(kExtractedDepth, SomeLevels, false));
}

// Archives of nothing but nested folders, a few hundred bytes each.
struct ChainEditCase {
    const char* name;
    int depth;
};

class DeepArchiveEdit : public ::testing::TestWithParam<ChainEditCase> {};

TEST_P(DeepArchiveEdit, AddThenRemoveEndInAResult) {
    DeepTreePlace dir;
    const std::string archive = dir / "chain.pak";
    const int depth = GetParam().depth;
    const auto bottomOnly = [depth](int level) { return level == depth; };
    WriteFile(archive, FolderChainArchive(depth, bottomOnly, false));
    WriteFile(dir / "new.txt", "new");

    const CliResult added = RunVpak({"add", "-q", archive, dir / "new.txt"});
    EXPECT_EQ(added.status, 0) << added.err.substr(0, 300);
    EXPECT_EQ(added.out, "O.K. Added 1 file and replaced 0 files!\n");
    const CliResult listed = RunVpak({"list", archive});
    ASSERT_EQ(listed.status, 0);
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 2);
    EXPECT_NE(listed.out.find("*new.txt\n"), std::string::npos);
    EXPECT_NE(listed.out.find("d\\f" + std::to_string(depth) + ".txt\n"), std::string::npos);

    const CliResult removed = RunVpak({"remove", "-q", archive, "d"});
    EXPECT_EQ(removed.status, 0) << removed.err.substr(0, 300);
    EXPECT_EQ(removed.out, "O.K. Removed 1 file and " + GroupThousands(depth) + " dirs!\n");
    const CliResult left = RunVpak({"list", archive});
    EXPECT_EQ(left.status, 0);
    EXPECT_EQ(left.out.substr(45), "new.txt\n");
}

INSTANTIATE_TEST_SUITE_P(Chains, DeepArchiveEdit,
                         ::testing::Values(ChainEditCase{"TwentyFiveThousand", 25000},
                                           ChainEditCase{"ThreeHundredThousand", 300000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DanglingLink, MakeSaysTheLinkPointsToAMissingFile) {
    TempDir dir;
    WriteFile(dir / "tree/kept.txt", "kept");
    ASSERT_EQ(::symlink("nowhere.txt", (dir / "tree/gone.txt").c_str()), 0);
    const CliResult made = RunVpak({"make", "-q", dir / "x.pak", dir / "tree"});
    EXPECT_EQ(made.status, 1);
    EXPECT_EQ(made.err, "Error :-(\nvpak: cannot read \"" + dir / "tree/gone.txt" +
                            "\": a symbolic link to a missing file\n");
    const CliResult diff = RunVpak({"diff", dir / "x.pak", dir / "tree"});
    EXPECT_NE(diff.err.find("\"" + dir / "tree/gone.txt" + "\": a symbolic link to a missing file"),
              std::string::npos)
        << diff.err;
}

}  // namespace
