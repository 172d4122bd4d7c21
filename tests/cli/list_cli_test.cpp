#include <gtest/gtest.h>

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

TEST_F(ListCommand, ABigEndianArchiveWithoutTheFlagIsAFailure) {
    WriteTestArchive(archive, ExampleTree(), true);
    const CliResult r = RunVpak({"list", archive});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error :-(\n");
}

TEST_F(ListCommand, AnEmptyArchivePrintsNothingAndSucceeds) {
    WriteTestArchive(archive, TestFolder{});
    const CliResult r = RunVpak({"list", archive});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST_F(ListCommand, ABadArchiveSaysErrorAndPrintsNoLines) {
    WriteFile(archive, "this is not an archive at all");
    const CliResult r = RunVpak({"list", archive});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error :-(\n");
}

TEST_F(ListCommand, AWalkThatFailsPrintsNoLines) {
    TArrayOfByte directory = EncodeTree(ExampleTree(), false).directory;
    directory.push_back(0);  // one byte more than the root record
    WriteFile(archive, ArchiveBytes(directory, {}, false));
    const CliResult r = RunVpak({"list", archive});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error :-(\n");
}

TEST_F(ListCommand, AMissingArchiveIsAFailure) {
    const CliResult r = RunVpak({"list", dir / "missing.pak"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error :-(\n");
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
    EXPECT_NE(r.err.find("Error"), std::string::npos);
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

TEST(UsageErrors, AnUnknownSubcommandExits2) {
    const CliResult r = RunVpak({"frobnicate"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Usage"), std::string::npos);
}

TEST_F(ListCommand, ManyRecordsSharingOneStreamPrintNothingAndExitOne) {
    WriteFile(archive, SharedStreamArchive(300000, {}));
    const CliResult r = RunVpak({"list", archive});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error :-(\n");
    EXPECT_LT(r.peakMemoryBytes, int64_t{256} << 20);
}
