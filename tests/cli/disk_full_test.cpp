// A disk that really runs full (a small tmpfs): extraction, building, updating and the .loc
// conversions end with exit status 3 and the system's message, never a crash, and nothing is
// lost: the old archive or output stays byte for byte, with no journal, staging or
// temporary file beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/crafted_archives.h"
#include "helpers/random_bytes.h"
#include "helpers/run_cli.h"
#include "helpers/small_disk.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kDiskSize = 1024 * 1024;
constexpr const char* kNoSpace = "No space left on device";

// About 600 KB of incompressible streams: more than half the disk.
TestFolder BigTree() {
    TestFolder root;
    root.folders.push_back({"data", {}, {{"first.bin", RandomBytes(250000, 1)}, {"second.bin", RandomBytes(250000, 2)}}});
    root.files = {{"middle.bin", RandomBytes(90000, 3)}, {"tail.bin", RandomBytes(10000, 4)}};
    return root;
}

std::vector<std::string> NamesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The archive on the small disk and what it must still be after a failure.
struct FullDiskScene {
    SmallDisk disk{kDiskSize};
    TempDir elsewhere;
    std::string archive = disk / "data.pak";
    TArrayOfByte before;
    std::string listing;
    int64_t free = 0;

    bool Ready() {
        if (!disk.Mounted()) return false;
        WriteTestArchive(archive, BigTree());
        before = ReadFileBytes(archive);
        listing = RunVpak({"list", archive}).out;
        free = disk.FreeBytes();
        return true;
    }

    // The length of a file that replaces data\first.bin (250,000 bytes) and that the journal
    // cannot take: the archive can grow by its excess, but then the rest of the disk holds
    // less than the new stream, which the journal must keep whatever else it saves.
    size_t StreamTooLargeForTheJournal() const {
        return static_cast<size_t>((disk.FreeBytes() + 250000) / 2 + 40000);
    }

    void ExpectCleanFailure(const CliResult& result) const {
        EXPECT_EQ(result.status, 3) << result.err;
        EXPECT_NE(result.err.find(kNoSpace), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }

    void ExpectNothingLost() const {
        EXPECT_EQ(NamesIn(disk.Path()), std::vector<std::string>{"data.pak"});
        EXPECT_EQ(ReadFileBytes(archive), before);
        // No space taken for the update stays with the archive.
        EXPECT_EQ(disk.FreeBytes(), free);
        const CliResult listed = RunVpak({"list", archive});
        EXPECT_EQ(listed.status, 0);
        EXPECT_EQ(listed.out, listing);
    }
};

}  // namespace

TEST(DiskFull, ExtractionOntoAFullDiskEndsWithExitThree) {
    SmallDisk disk(kDiskSize);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    TempDir dir;
    TestFolder tree = BigTree();
    tree.files.push_back({"more.bin", RandomBytes(600000, 5)});
    WriteTestArchive(dir / "data.pak", tree);
    const TArrayOfByte before = ReadFileBytes(dir / "data.pak");

    const CliResult result = RunVpak({"extract", "-q", dir / "data.pak", disk / "out"});
    EXPECT_EQ(result.status, 3) << result.err;
    EXPECT_NE(result.err.find(kNoSpace), std::string::npos) << result.err;
    EXPECT_EQ(ReadFileBytes(dir / "data.pak"), before);
}

TEST(DiskFull, BuildThatDoesNotFitKeepsTheOldArchiveAndLeavesNoStagingFile) {
    FullDiskScene s;
    if (!s.Ready()) GTEST_SKIP() << s.disk.Reason();
    WriteFile(s.elsewhere / "src/big.bin", RandomBytes(500000, 6));
    WriteFile(s.elsewhere / "src/sub/more.bin", RandomBytes(100000, 7));

    s.ExpectCleanFailure(RunVpak({"make", "-q", s.archive, s.elsewhere / "src"}));
    s.ExpectNothingLost();
}

TEST(DiskFull, BuildOfANewArchiveThatDoesNotFitLeavesNoFile) {
    SmallDisk disk(kDiskSize);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    TempDir dir;
    WriteFile(dir / "src/big.bin", RandomBytes(1200000, 8));
    const CliResult result = RunVpak({"make", "-q", disk / "new.pak", dir / "src"});
    EXPECT_EQ(result.status, 3) << result.err;
    EXPECT_NE(result.err.find(kNoSpace), std::string::npos) << result.err;
    EXPECT_TRUE(NamesIn(disk.Path()).empty());
}

TEST(DiskFull, ReplacementWhoseJournalDoesNotFitLeavesTheArchiveUntouched) {
    FullDiskScene s;
    if (!s.Ready()) GTEST_SKIP() << s.disk.Reason();
    WriteFile(s.elsewhere / "new.bin", RandomBytes(s.StreamTooLargeForTheJournal(), 9));
    s.ExpectCleanFailure(RunVpak({"replace", "--path", "data\\first.bin", s.archive, s.elsewhere / "new.bin"}));
    s.ExpectNothingLost();
}

TEST(DiskFull, ReplacementThatCannotGrowTheArchiveIsRolledBack) {
    FullDiskScene s;
    if (!s.Ready()) GTEST_SKIP() << s.disk.Reason();
    // The last stream: a small journal fits, the archive's growth does not.
    const int64_t growth = s.disk.FreeBytes() + 50000;
    WriteFile(s.elsewhere / "new.bin", RandomBytes(static_cast<size_t>(growth), 10));
    s.ExpectCleanFailure(RunVpak({"replace", "--path", "tail.bin", s.archive, s.elsewhere / "new.bin"}));
    s.ExpectNothingLost();
}

TEST(DiskFull, ReplacingADirectoryThatRunsOutOfRoomHalfWayUndoesEveryFile) {
    FullDiskScene s;
    if (!s.Ready()) GTEST_SKIP() << s.disk.Reason();
    // Two streams near the end each grow by less than half the free room: whichever comes
    // first fits with its journal, the second does not. The growth is chosen so that
    // neither replacement alone changes the directory's length, which would move the whole
    // data area and need a journal of all of it.
    const auto keepsHeaderSize = [&](const std::string& name) {
        TempDir copy;
        WriteFile(copy / "data.pak", s.before);
        const CliResult r = RunVpak({"replace", "--path", name, copy / "data.pak", s.elsewhere / ("src/" + name)});
        return r.status == 0 && ProbeHeaderSize(ReadFileBytes(copy / "data.pak")) == ProbeHeaderSize(s.before);
    };
    bool found = false;
    for (int attempt = 0; attempt < 40 && !found; ++attempt) {
        const auto growth = static_cast<size_t>(s.disk.FreeBytes() * 45 / 100 - 997 * attempt);
        WriteFile(s.elsewhere / "src/middle.bin", RandomBytes(90000 + growth, 11));
        WriteFile(s.elsewhere / "src/tail.bin", RandomBytes(10000 + growth, 12));
        found = keepsHeaderSize("middle.bin") && keepsHeaderSize("tail.bin");
    }
    ASSERT_TRUE(found);
    s.ExpectCleanFailure(RunVpak({"replace-dir", "-q", s.archive, s.elsewhere / "src"}));
    s.ExpectNothingLost();
}

TEST(DiskFull, UpdateThatFitsStillSucceedsOnTheSmallDisk) {
    FullDiskScene s;
    if (!s.Ready()) GTEST_SKIP() << s.disk.Reason();
    WriteFile(s.elsewhere / "new.bin", RandomBytes(12000, 13));
    const CliResult result = RunVpak({"replace", "--path", "tail.bin", s.archive, s.elsewhere / "new.bin"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(NamesIn(s.disk.Path()), std::vector<std::string>{"data.pak"});
    EXPECT_NE(ReadFileBytes(s.archive), s.before);
}

// An archive that fills nine tenths of its disk: replacing files that grow by a few KiB
// moves the whole data area, which the journal could never hold. The update rolls forward in
// pieces and gives what it gives on a roomy disk.
TEST(DiskFull, ReplacingGrowingFilesSucceedsWithATenthOfTheArchiveFree) {
    constexpr int64_t kDisk = 4 * 1024 * 1024;
    SmallDisk disk(kDisk);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    TempDir elsewhere;
    TestFolder tree;
    for (int i = 0; i < 12; ++i)
        tree.folders.push_back({"d" + std::to_string(i), {}, {{"a.bin", RandomBytes(150000, 20 + i)},
                                                               {"b.bin", RandomBytes(150000, 40 + i)},
                                                               {"c.bin", RandomBytes(8000, 60 + i)}}});
    WriteTestArchive(elsewhere / "roomy.pak", tree);
    const TArrayOfByte before = ReadFileBytes(elsewhere / "roomy.pak");
    WriteFile(disk / "data.pak", before);
    for (int i = 0; i < 12; i += 3)
        WriteFile(elsewhere / ("src/d" + std::to_string(i) + "/c.bin"), RandomBytes(8000 + 3000, 80 + i));
    // Other files take the rest of the disk.
    WriteFile(disk / "other", RandomBytes(static_cast<size_t>(disk.FreeBytes() - static_cast<int64_t>(before.size()) / 10), 1));
    const int64_t free = disk.FreeBytes();
    ASSERT_LE(free, static_cast<int64_t>(before.size()) / 9);
    ASSERT_GE(free, static_cast<int64_t>(before.size()) / 12);

    const CliResult roomy = RunVpak({"replace-dir", "-q", elsewhere / "roomy.pak", elsewhere / "src"});
    ASSERT_EQ(roomy.status, 0) << roomy.err;
    const CliResult result = RunVpak({"replace-dir", "-q", disk / "data.pak", elsewhere / "src"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ReadFileBytes(disk / "data.pak"), ReadFileBytes(elsewhere / "roomy.pak"));
    EXPECT_EQ(NamesIn(disk.Path()), (std::vector<std::string>{"data.pak", "other"}));
}

TEST(DiskFull, ConversionThatDoesNotFitKeepsTheOldOutputAndLeavesNoTemporaryFile) {
    SmallDisk disk(256 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    TempDir dir;
    // A table of one 400,000-byte string, and its text: either output is larger than the disk.
    WriteFile(dir / "big.loc", LocBombTable(1, 400000));
    WriteFile(dir / "big.txt", std::string(400000, 'A') + "\r\n");
    const TArrayOfByte previous = Bytes("the output of an earlier run\r\n");
    for (const auto& [command, input] : {std::pair{"loc2txt", dir / "big.loc"}, std::pair{"txt2loc", dir / "big.txt"}}) {
        SCOPED_TRACE(command);
        WriteFile(disk / "out", previous);
        const CliResult result = RunVpak({command, input, disk / "out"});
        EXPECT_EQ(result.status, 3) << result.err;
        EXPECT_NE(result.err.find(kNoSpace), std::string::npos) << result.err;
        EXPECT_EQ(ReadFileBytes(disk / "out"), previous);
        EXPECT_EQ(NamesIn(disk.Path()), std::vector<std::string>{"out"});
    }
}

TEST(DiskFull, TheMessageNamesTheFileTheUserGaveNeverATemporaryOne) {
    FullDiskScene s;
    if (!s.Ready()) GTEST_SKIP() << s.disk.Reason();
    WriteFile(s.elsewhere / "src/big.bin", RandomBytes(1200000, 14));
    WriteFile(s.elsewhere / "big.loc", LocBombTable(1, 1200000));
    WriteFile(s.elsewhere / "new.bin", RandomBytes(s.StreamTooLargeForTheJournal(), 9));
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"make", "-q", s.disk / "new.pak", s.elsewhere / "src"},
         "Cannot write file \"" + s.disk / "new.pak" + "\": No space left on device"},
        {{"loc2txt", s.elsewhere / "big.loc", s.disk / "out.txt"},
         "Cannot write file \"" + s.disk / "out.txt" + "\": No space left on device"},
        {{"replace", "--path", "data\\first.bin", s.archive, s.elsewhere / "new.bin"},
         "Cannot write the journal of \"" + s.archive + "\": No space left on device"},
    };
    for (const auto& c : cases) {
        const CliResult result = RunVpak(c.args);
        EXPECT_EQ(result.status, 3) << c.message;
        EXPECT_EQ(result.err, "vpak: " + c.message + "\n");
    }
    s.ExpectNothingLost();
}
