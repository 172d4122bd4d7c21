// replace-dir over files that hold what their entries hold already: those entries are left
// as they are, and counted apart from the ones replaced.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/run_cli.h"
#include "helpers/stored_archive.h"
#include "helpers/temp_dir.h"

namespace {

using TFiles = std::vector<std::pair<std::string, TArrayOfByte>>;

const TFiles kFiles = {{"a.txt", Bytes("alpha")}, {"b.bin", Bytes("bravo bravo")}, {"c.txt", Bytes("charlie")}};

void WriteTree(const TempDir& dir, const TFiles& files) {
    for (const auto& [name, content] : files) WriteFile(dir / ("src/" + name), content);
}

}  // namespace

// Streams stored uncompressed: compressing them afresh would change every byte behind them.
TEST(ReplaceDirUnchanged, AnUnchangedExtractionLeavesTheArchiveByteForByteAndCountsTheFilesApart) {
    TempDir dir;
    const TArrayOfByte archive = StoredStreamArchive(kFiles, false);
    WriteFile(dir / "x.pak", archive);
    WriteTree(dir, kFiles);
    const CliResult r = RunVpak({"replace-dir", "-q", dir / "x.pak", dir / "src"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "O.K. Nothing to update: 3 unchanged files left as they were.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(ReadFileBytes(dir / "x.pak") == archive);
}

TEST(ReplaceDirUnchanged, AChangedFileAmongUnchangedOnesIsReplacedAndTheOthersKeepTheirStreams) {
    TempDir dir;
    WriteFile(dir / "x.pak", StoredStreamArchive(kFiles, false));
    TFiles files = kFiles;
    files[1].second = Bytes("a new bravo");
    WriteTree(dir, files);
    const CliResult r = RunVpak({"replace-dir", "-q", dir / "x.pak", dir / "src"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "O.K. Successfully updated 1 files! 2 unchanged files left as they were.\n");
    const TArrayOfByte after = ReadFileBytes(dir / "x.pak");
    const std::vector<ProbedEntry> entries = ProbeEntries(dir / "x.pak");
    ASSERT_EQ(entries.size(), 3u);
    for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(ProbeContent(after, entries[i]), files[i].second) << i;
    // The unchanged entries still hold their stored streams, byte for byte.
    for (const size_t i : {0u, 2u}) {
        const TArrayOfByte stored = StoredZlibStream(files[i].second);
        const TArrayOfByte kept(after.begin() + entries[i].absOffset,
                                after.begin() + entries[i].absOffset + entries[i].packedSize);
        EXPECT_TRUE(kept == stored) << i;
    }
}

// A .loc text is compared as the table it would be stored as, as sync compares it; stored
// as it is (--no-loc), the text differs from that table.
TEST(ReplaceDirUnchanged, ALocTextWhoseTableIsStoredAlreadyIsUnchangedUnlessNoLocIsGiven) {
    TempDir dir;
    WriteFile(dir / "made/menu.loc", "Start\r\nQuit\r\n");
    WriteFile(dir / "made/readme.txt", "hello");
    ASSERT_EQ(RunVpak({"make", "-q", dir / "x.pak", dir / "made"}).status, 0);
    const TArrayOfByte archive = ReadFileBytes(dir / "x.pak");

    const CliResult same = RunVpak({"replace-dir", "-q", dir / "x.pak", dir / "made"});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, "O.K. Nothing to update: 2 unchanged files left as they were.\n");
    EXPECT_TRUE(ReadFileBytes(dir / "x.pak") == archive);

    const CliResult asText = RunVpak({"replace-dir", "-q", "--no-loc", dir / "x.pak", dir / "made"});
    EXPECT_EQ(asText.status, 0) << asText.err;
    EXPECT_EQ(asText.out, "O.K. Successfully updated 1 files! 1 unchanged file left as it was.\n");
}

// Updating in place takes PC archives only: an Xbox 360 archive is refused whatever its files
// hold, and stays as it was.
TEST(ReplaceDirUnchanged, EachByteOrderGivesItsOwnOutcomeOverAnUnchangedExtraction) {
    const struct {
        bool xbox;
        int status;
        std::string out;
    } cases[] = {
        {false, 0, "O.K. Nothing to update: 3 unchanged files left as they were.\n"},
        {true, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xbox ? "Xbox 360" : "PC");
        TempDir dir;
        const TArrayOfByte archive = StoredStreamArchive(kFiles, c.xbox);
        WriteFile(dir / "x.pak", archive);
        WriteTree(dir, kFiles);
        std::vector<std::string> args = {"replace-dir", "-q", dir / "x.pak", dir / "src"};
        if (c.xbox) args.push_back("--xbox");
        const CliResult r = RunVpak(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_TRUE(ReadFileBytes(dir / "x.pak") == archive);
    }
}
