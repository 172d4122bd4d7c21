// Two entries whose paths differ only in letter case (a Linux folder holds both, and make
// stores both): every command that finds an entry by what a user names takes the exact path,
// and refuses a name or a hash tag that could mean either, naming both.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/format/hash_tag.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace {

class LetterCase : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir / "tree/data/a.txt", "lower");
        WriteFile(dir / "tree/data/A.txt", "upper");
        WriteFile(dir / "tree/other.txt", "other");
        ASSERT_EQ(RunVpak({"make", "-q", archive, dir / "tree"}).status, 0);
    }

    std::string Content(const std::string& entry) { return RunVpak({"cat", archive, entry}).out; }

    // The path of a new file of that name, holding "new".
    std::string NewFile(const std::string& name) {
        const std::string path = dir / ("in/" + name);
        WriteFile(path, "new");
        return path;
    }

    TempDir dir;
    std::string archive = dir / "m.pak";
    const std::string both = "names both \"data/A.txt\" and \"data/a.txt\" of the archive, which differ only in "
                             "letter case";
};

std::string Tagged(const std::string& name, const std::string& archivePath) {
    return name + ".[" + TagToText(PathHashTag(archivePath)) + "].txt";
}

}  // namespace

TEST_F(LetterCase, AnExactPathFindsItsOwnEntryForEveryCommand) {
    EXPECT_EQ(Content("data/a.txt"), "lower");
    EXPECT_EQ(Content("data/A.txt"), "upper");

    ASSERT_EQ(RunVpak({"replace", "--path", "data/a.txt", archive, NewFile("r")}).status, 0);
    EXPECT_EQ(Content("data/a.txt"), "new");
    EXPECT_EQ(Content("data/A.txt"), "upper");

    WriteFile(dir / "replacements/data/A.txt", "from folder");
    ASSERT_EQ(RunVpak({"replace-dir", "-q", archive, dir / "replacements"}).status, 0);
    EXPECT_EQ(Content("data/A.txt"), "from folder");
    EXPECT_EQ(Content("data/a.txt"), "new");

    WriteFile(dir / "added/a.txt", "added");
    ASSERT_EQ(RunVpak({"add", "-q", "--to", "data", archive, dir / "added/a.txt"}).status, 0);
    EXPECT_EQ(Content("data/a.txt"), "added");
    EXPECT_EQ(Content("data/A.txt"), "from folder");

    ASSERT_EQ(RunVpak({"remove", "-q", archive, "data/A.txt"}).status, 0);
    EXPECT_EQ(Content("data/a.txt"), "added");
    EXPECT_EQ(RunVpak({"list", archive}).out.find("A.txt"), std::string::npos);
}

TEST_F(LetterCase, ANameEitherEntryCouldMeanIsRefusedNamingBoth) {
    WriteFile(dir / "upper/data/A.TXT", "x");
    WriteFile(dir / "added/A.TXT", "x");
    const std::string given = NewFile("g");
    const struct {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {{"cat", archive, "DATA/A.TXT"}, "cannot show \"DATA/A.TXT\": it " + both},
        {{"replace", "--path", "data/A.TXT", archive, given}, "cannot use \"" + given + "\": it " + both},
        {{"replace-dir", "-q", archive, dir / "upper"}, "cannot use \"" + dir / "upper/data/A.TXT" + "\": it " + both},
        {{"add", "-q", "--to", "data", archive, dir / "added/A.TXT"},
         "cannot add to \"" + archive + "\": \"" + dir / "added/A.TXT" + "\" " + both},
        {{"remove", "-q", archive, "data/A.TXT"}, "cannot remove \"data/A.TXT\": it " + both},
    };
    for (const auto& c : cases) {
        const std::string before = ReadFileText(archive);
        const CliResult r = RunVpak(c.args);
        EXPECT_EQ(r.status, 1) << c.args[0];
        EXPECT_EQ(r.err, "Error :-(\nvpak: " + c.reason + "\n") << c.args[0];
        EXPECT_EQ(ReadFileText(archive), before) << c.args[0] << ": the archive stays as it was";
    }
}

// A hash tag is made from the path in lower case: the two entries share one.
TEST_F(LetterCase, AHashTagTheTwoEntriesShareIsRefusedNamingBoth) {
    const std::string tagged = NewFile(Tagged("a", "data\\a.txt"));
    WriteFile(dir / "tagged/" + Tagged("x", "data\\A.txt"), "x");
    WriteFile(dir / "tagged/" + Tagged("o", "other.txt"), "new other");
    const std::string shared = "its hash tag is that of both \"data/A.txt\" and \"data/a.txt\" of the archive, "
                               "which differ only in letter case";
    const CliResult one = RunVpak({"replace", archive, tagged});
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(one.err, "Error :-(\nvpak: cannot use \"" + tagged + "\": " + shared + "\n");

    const CliResult folder = RunVpak({"replace-dir", "--hash", "-q", archive, dir / "tagged"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err, "Error :-(\nvpak: cannot use \"" + dir / "tagged/" + Tagged("x", "data\\A.txt") + "\": " +
                              shared + "\n");
    EXPECT_EQ(Content("other.txt"), "new other") << "the file of a tag of its own is replaced";
    EXPECT_EQ(Content("data/a.txt"), "lower");
    EXPECT_EQ(Content("data/A.txt"), "upper");
}
