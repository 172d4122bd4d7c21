#include <gtest/gtest.h>

#include <algorithm>

#include "helpers/archive_writer.h"
#include "helpers/crafted_archives.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"
#include "support/number_text.h"

namespace {

const std::string kTitle = "Veldane .PAK Maker / Extractor / Updater v0.55";

TestFolder ExampleTree() {
    TestFolder root;
    root.folders.push_back({"data", {}, {{"a.txt", Bytes("hello")}}});
    root.files.push_back({"readme.txt", {}});
    return root;
}

const std::string kExampleOutput =
    "0000001D*00000000*0000003D*0000000D*00000005*data\\a.txt\n"
    "0000003B*0000000D*0000004A*00000008*00000000*readme.txt\n";

class ListCommand : public ::testing::Test {
protected:
    TempDir dir;
    std::string archive = dir / "test.pak";
};

}  // namespace

TEST_F(ListCommand, PrintsTheListingLinesOnStandardOutput) {
    WriteTestArchive(archive, ExampleTree());
    const CliResult r = RunVpak({"list", archive});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kExampleOutput);
    EXPECT_EQ(r.err, "");
}

TEST_F(ListCommand, XboxFlagReadsABigEndianArchive) {
    WriteTestArchive(archive, ExampleTree(), true);
    // The big-endian directory compresses to its own length, which moves the data area.
    const TArrayOfByte bytes = ReadFileBytes(archive);
    const int32_t headerSize = FromArchiveOrder(true, ReadInt32At(bytes, 4));
    const CliResult r = RunVpak({"list", "--xbox", archive});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0000001D*00000000*" + HexLong(headerSize) + "*0000000D*00000005*data\\a.txt\n" +
                         "0000003B*0000000D*" + HexLong(headerSize + 13) + "*00000008*00000000*readme.txt\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(ListCommand, AnEmptyArchivePrintsNothingAndSucceeds) {
    WriteTestArchive(archive, TestFolder{});
    const CliResult r = RunVpak({"list", archive});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST_F(ListCommand, AFalseResultPrintsNoLinesAndSaysErrorThenWhy) {
    WriteTestArchive(dir / "xbox.pak", ExampleTree(), true);
    WriteTestArchive(dir / "pc.pak", ExampleTree());
    WriteFile(dir / "text.pak", "this is not an archive at all");
    TArrayOfByte directory = EncodeTree(ExampleTree(), false).directory;
    directory.push_back(0);  // one byte more than the root record
    WriteFile(dir / "walk.pak", ArchiveBytes(directory, {}, false));
    const struct {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {{"list", dir / "xbox.pak"},
         "cannot read the archive \"" + dir / "xbox.pak" + "\": it reads as an Xbox 360 archive: try --xbox"},
        {{"list", "--xbox", dir / "pc.pak"},
         "cannot read the archive \"" + dir / "pc.pak" + "\": it reads as a PC archive: try without --xbox"},
        {{"list", dir / "text.pak"},
         "cannot read the archive \"" + dir / "text.pak" + "\": it is not a .PAK archive, or its header is damaged"},
        {{"list", dir / "walk.pak"}, "cannot read the archive \"" + dir / "walk.pak" + "\": its directory is damaged"},
        {{"list", dir / "missing.pak"},
         "cannot open the archive \"" + dir / "missing.pak" + "\": No such file or directory"},
        {{"list", dir.Path()}, "cannot open the archive \"" + dir.Path() + "\": it is a folder"},
    };
    for (const auto& c : cases) {
        const CliResult r = RunVpak(c.args);
        EXPECT_EQ(r.status, 1) << c.reason;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "Error :-(\nvpak: " + c.reason + "\n");
    }
}

TEST_F(ListCommand, ControlBytesInNamesAreEscapedSoThatEveryFileKeepsOneLine) {
    TestFolder root;
    root.files.push_back({"evil\n00000000*00000000*00000000*00000000*00000000*fake\x1b[2J\x7f", Bytes("x")});
    WriteTestArchive(archive, root);
    const CliResult r = RunVpak({"list", archive});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    EXPECT_NE(r.out.find("*evil<0A>00000000*00000000*00000000*00000000*00000000*fake<1B>[2J<7F>\n"),
              std::string::npos)
        << r.out;
}

TEST_F(ListCommand, ACorruptCompressedDirectoryIsARaisedError) {
    TArrayOfByte bytes;
    PutInt(bytes, false, 100);
    PutInt(bytes, false, 8 + 10);
    for (uint8_t b : {0x78, 0xDA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) bytes.push_back(b);
    WriteFile(archive, bytes);
    const CliResult r = RunVpak({"list", archive});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vpak: Damaged directory in \"" + archive + "\"\n");
}

TEST_F(ListCommand, AnArchivePathRelativeToTheWorkingDirectoryIsFound) {
    WriteTestArchive(archive, ExampleTree());
    const CliResult r = RunVpak({"list", "test.pak"}, dir.Path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kExampleOutput);
}

TEST(VersionOption, PrintsTheTitleLine) {
    const CliResult r = RunVpak({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kTitle + "\n");
}

TEST(UsageErrors, NoSubcommandPrintsHelpAndExits2) {
    const CliResult r = RunVpak({});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Usage"), std::string::npos);
    EXPECT_NE(r.err.find("list"), std::string::npos);
}

TEST(UsageErrors, AnUnknownOptionPrintsHelpAndExits2) {
    const CliResult r = RunVpak({"list", "--bogus", "x.pak"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("--bogus"), std::string::npos);
    EXPECT_NE(r.err.find("Usage"), std::string::npos);
    EXPECT_NE(r.err.find("--xbox"), std::string::npos);  // the help of the list command
}

TEST(UsageErrors, AMissingArchiveArgumentPrintsHelpAndExits2) {
    const CliResult r = RunVpak({"list"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("ARCHIVE"), std::string::npos);
    EXPECT_NE(r.err.find("Usage"), std::string::npos);
}

TEST(UsageErrors, AnUnknownCommandIsNamedWithTheHelpAndExits2) {
    const CliResult r = RunVpak({"frobnicate", "x.pak"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.find("vpak: unknown command \"frobnicate\"\n"), 0u) << r.err;
    EXPECT_NE(r.err.find("Usage"), std::string::npos);
    EXPECT_EQ(RunVpak({"--frobnicate"}).err.find("unknown command"), std::string::npos) << "an option is no command";
}

TEST_F(ListCommand, ManyRecordsSharingOneStreamPrintNothingAndExitOne) {
    WriteFile(archive, SharedStreamArchive(300000, {}));
    const CliResult r = RunVpak({"list", archive});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error :-(\nvpak: cannot read the archive \"" + archive +
                         "\": its directory lists more than an archive of its size can hold\n");
    EXPECT_LT(r.peakMemoryBytes, int64_t{256} << 20);
}
