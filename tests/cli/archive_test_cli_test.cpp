// vpak test: every property a reader relies on, checked through the real executable.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <vector>

#include "helpers/archive_writer.h"
#include "helpers/run_cli.h"
#include "helpers/run_cli_terminal.h"
#include "helpers/temp_dir.h"
#include "support/zlib_adapter.h"

namespace {

TArrayOfByte Stream(const std::string& content) {
    return CompressBytes(content.data(), static_cast<int32_t>(content.size()));
}

// One file record of a root folder, as a crafted archive holds it.
struct Record {
    std::string name;
    int32_t dataOffset;
    int32_t packedSize;
    int32_t unpackedSize;
};

// An archive whose root folder holds exactly these records over this data area.
TArrayOfByte CraftedArchive(const std::vector<Record>& records, const TArrayOfByte& data) {
    TArrayOfByte directory;
    PutInt(directory, false, 0);
    PutInt(directory, false, static_cast<int32_t>(records.size()));
    for (const Record& record : records) {
        PutName(directory, false, record.name);
        PutInt(directory, false, record.dataOffset);
        PutInt(directory, false, record.packedSize);
        PutInt(directory, false, record.unpackedSize);
    }
    return ArchiveBytes(directory, data, false);
}

TArrayOfByte Joined(TArrayOfByte a, const TArrayOfByte& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::string kHello = "hello";
const TArrayOfByte kHelloStream = Stream(kHello);
const int32_t kHelloPacked = static_cast<int32_t>(kHelloStream.size());
const TArrayOfByte kOtherStream = Stream("other content");
const int32_t kOtherPacked = static_cast<int32_t>(kOtherStream.size());

class TestCommand : public ::testing::Test {
protected:
    TempDir dir;
    std::string archive = dir / "test.pak";
};

struct BadArchiveCase {
    const char* property;
    std::vector<Record> records;
    TArrayOfByte data;
    std::string lines;  // the lines naming the bad entries, before the summary
};

void PrintTo(const BadArchiveCase& c, std::ostream* out) { *out << c.property; }

class TestCommandOnABadArchive : public ::testing::TestWithParam<BadArchiveCase> {};

const std::string P = std::to_string(kHelloPacked);

const BadArchiveCase kBadArchives[] = {
    {"a stream out of the file",
     {{"ok.txt", 0, kHelloPacked, 5}, {"far.txt", kHelloPacked, kHelloPacked, 5}},
     kHelloStream,
     "far.txt: its stream runs past the end of the archive\n"},
    {"a stream that begins inside the header",
     {{"ok.txt", 0, kHelloPacked, 5}, {"before.txt", -4, kHelloPacked, 5}},
     kHelloStream,
     "before.txt: its stream begins inside the header\n"},
    {"two overlapping streams",
     {{"first.txt", 0, kHelloPacked, 5}, {"second.txt", 2, kOtherPacked, 13}},
     Joined(kHelloStream, kOtherStream),
     "first.txt: its stream overlaps that of \"second.txt\"\n"
     "second.txt: its stream overlaps that of \"first.txt\"\n"},
    {"a long stream enclosing two later ones",
     {{"long.txt", 0, 3 * kHelloPacked, 5}, {"inner1.txt", kHelloPacked, kHelloPacked, 5},
      {"inner2.txt", 2 * kHelloPacked, kHelloPacked, 5}},
     Joined(Joined(kHelloStream, kHelloStream), kHelloStream),
     "long.txt: its stream overlaps those of \"inner1.txt\" and \"inner2.txt\"\n"
     "inner1.txt: its stream overlaps that of \"long.txt\"\n"
     "inner2.txt: its stream overlaps that of \"long.txt\"\n"},
    {"a stream overlapping more than three others",
     {{"e.txt", 4, 5, 5}, {"a.txt", 0, 5, 5}, {"b.txt", 1, 5, 5}, {"c.txt", 2, 5, 5}, {"d.txt", 3, 5, 5}},
     Bytes("0123456789"),
     "e.txt: its stream overlaps those of \"a.txt\", \"b.txt\", \"c.txt\" and 1 more\n"
     "a.txt: its stream overlaps those of \"b.txt\", \"c.txt\", \"d.txt\" and 1 more\n"
     "b.txt: its stream overlaps those of \"a.txt\", \"c.txt\", \"d.txt\" and 1 more\n"
     "c.txt: its stream overlaps those of \"a.txt\", \"b.txt\", \"d.txt\" and 1 more\n"
     "d.txt: its stream overlaps those of \"a.txt\", \"b.txt\", \"c.txt\" and 1 more\n"},
    {"a wrong unpacked size",
     {{"wrong.txt", 0, kHelloPacked, 6}},
     kHelloStream,
     "wrong.txt: its stream inflates to 5 bytes, not the 6 its record gives\n"},
    {"an unpacked size smaller than the stream's",
     {{"small.txt", 0, kHelloPacked, 3}},
     kHelloStream,
     "small.txt: its stream inflates to more than the 3 bytes its record gives\n"},
    {"trailing bytes after a stream's end within its packed size",
     {{"tail.txt", 0, kHelloPacked + 3, 5}},
     Joined(kHelloStream, Bytes("xyz")),
     "tail.txt: its stream ends at byte " + P + ", before its " + std::to_string(kHelloPacked + 3) +
         " packed bytes end\n"},
    {"a stream cut short by its packed size",
     {{"cut.txt", 0, kHelloPacked - 2, 5}},
     kHelloStream,
     "cut.txt: its stream does not end within its " + std::to_string(kHelloPacked - 2) + " packed bytes\n"},
    {"a damaged stream",
     {{"bad.txt", 0, 8, 5}},
     Bytes("\x78\xDA\xFF\xFF\xFF\xFF\xFF\xFF"),
     "bad.txt: its stream is damaged at byte 3\n"},
    {"an impossible size",
     {{"neg.txt", 0, kHelloPacked, -1}},
     kHelloStream,
     "neg.txt: its record holds an impossible size\n"},
    // No file system holds a file and a folder of one path: extraction fails one of them.
    {"a file where a folder has the same path",
     {{"x/y", 0, kHelloPacked, 5}, {"x", 0, kHelloPacked, 5}},
     kHelloStream,
     "x: a folder of the archive has the same path\n"},
    {"an unsafe path",
     {{"..\\evil.txt", 0, kHelloPacked, 5}},
     kHelloStream,
     "../evil.txt: extraction refuses its path (an empty, \".\" or \"..\" part, a drive, or a NUL)\n"},
};

}  // namespace

TEST_F(TestCommand, ASoundArchivePassesWithStatusZero) {
    WriteTestArchive(archive, TestFolder{"", {{"data", {}, {{"a.txt", Bytes("hello")}}}}, {{"b.bin", {}}}});
    const CliResult r = RunVpak({"test", archive});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "O.K. Tested 2 files: all sound.\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(TestCommand, RecordsSharingOneStreamAreSound) {
    WriteFile(archive, CraftedArchive({{"one.txt", 0, kHelloPacked, 5}, {"two.txt", 0, kHelloPacked, 5}}, kHelloStream));
    const CliResult r = RunVpak({"test", archive});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "O.K. Tested 2 files: all sound.\n");
}

TEST_F(TestCommand, XboxFlagTestsABigEndianArchive) {
    WriteTestArchive(archive, TestFolder{"", {}, {{"a.txt", Bytes("big")}}}, true);
    EXPECT_EQ(RunVpak({"test", "--xbox", archive}).status, 0);
}

// A file that is no archive, or not one of the flavour asked for, is a bad archive: its
// reason, status 1.
struct NoArchiveCase {
    const char* name;
    std::function<void(const std::string& path)> make;
    std::vector<std::string> flags;
    std::string reason;  // after `vpak: `, with the archive's path as {}
};

void PrintTo(const NoArchiveCase& c, std::ostream* out) { *out << c.name; }

class TestCommandOnNoArchive : public TestCommand, public ::testing::WithParamInterface<NoArchiveCase> {};

TEST_P(TestCommandOnNoArchive, SaysWhyAndFailsWithStatusOne) {
    GetParam().make(archive);
    std::vector<std::string> args{"test"};
    args.insert(args.end(), GetParam().flags.begin(), GetParam().flags.end());
    args.push_back(archive);
    const CliResult r = RunVpak(args);
    std::string reason = GetParam().reason;
    reason.replace(reason.find("{}"), 2, archive);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error :-(\nvpak: " + reason + "\n");
}

// A directory whose zlib stream ends in a wrong checksum: the header reads, inflating fails.
void WriteArchiveWithADamagedDirectory(const std::string& path) {
    TArrayOfByte directory;
    PutInt(directory, false, 0);
    PutInt(directory, false, 1);
    PutName(directory, false, "a.txt");
    for (int32_t value : {0, kHelloPacked, 5}) PutInt(directory, false, value);
    TArrayOfByte bytes = ArchiveBytes(directory, kHelloStream, false);
    bytes[bytes.size() - kHelloStream.size() - 1] ^= 0xFF;
    WriteFile(path, bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TestCommandOnNoArchive,
    ::testing::Values(
        NoArchiveCase{"NotAnArchive", [](const std::string& p) { WriteFile(p, "this is not an archive at all"); }, {},
                      "cannot read the archive \"{}\": it is not a .PAK archive, or its header is damaged"},
        NoArchiveCase{"PcArchiveTestedAsXbox",
                      [](const std::string& p) { WriteTestArchive(p, TestFolder{"", {}, {{"a.txt", Bytes("a")}}}); },
                      {"--xbox"},
                      "cannot read the archive \"{}\": it reads as a PC archive: try without --xbox"},
        NoArchiveCase{"DirectoryDoesNotInflate", WriteArchiveWithADamagedDirectory, {},
                      "Damaged directory in \"{}\""}),
    [](const ::testing::TestParamInfo<NoArchiveCase>& info) { return std::string(info.param.name); });

TEST_F(TestCommand, AFileThatCannotBeReadEndsWithStatusThree) {
    const CliResult r = RunVpak({"test", dir / "missing.pak"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vpak: cannot open the archive \"" + dir / "missing.pak" + "\": No such file or directory\n");
}

TEST_F(TestCommand, ProgressWithTheCurrentPathIsDrawnOnATerminal) {
    WriteTestArchive(archive, TestFolder{"", {}, {{"a.txt", Bytes("x")}}});
    const CliResult r = RunVpakOnTerminal({"test", archive});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "O.K. Tested 1 file: all sound.\n");
    EXPECT_NE(r.err.find("\rreading the directory..."), std::string::npos) << r.err;
    EXPECT_EQ(r.err.back(), '\r') << "the bar is cleared at the end";
}

TEST_F(TestCommand, QuietDrawsNothingOnATerminal) {
    WriteTestArchive(archive, TestFolder{"", {}, {{"a.txt", Bytes("x")}}});
    const CliResult r = RunVpakOnTerminal({"test", "-q", archive});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

TEST_F(TestCommand, WritesNothing) {
    WriteTestArchive(archive, TestFolder{"", {}, {{"a.txt", Bytes("x")}}});
    const TArrayOfByte before = ReadFileBytes(archive);
    EXPECT_EQ(RunVpak({"test", archive}).status, 0);
    EXPECT_EQ(ReadFileBytes(archive), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);
}

TEST_P(TestCommandOnABadArchive, NamesEachBadEntryWithItsReasonAndFailsWithStatusOne) {
    const BadArchiveCase& c = GetParam();
    TempDir dir;
    const std::string archive = dir / "bad.pak";
    WriteFile(archive, CraftedArchive(c.records, c.data));
    const CliResult r = RunVpak({"test", archive});
    EXPECT_EQ(r.status, 1);
    const size_t bad = static_cast<size_t>(std::count(c.lines.begin(), c.lines.end(), '\n'));
    const size_t count = c.records.size();
    EXPECT_EQ(r.out, c.lines + "Tested " + std::to_string(count) + (count == 1 ? " file: " : " files: ") +
                         std::to_string(bad) + " bad.\n");
    EXPECT_EQ(r.err, "Error :-(\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, TestCommandOnABadArchive, ::testing::ValuesIn(kBadArchives));
