// vpak cat: one entry's content on standard output, through the real executable.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "engine/format/internal/loc_convert.h"
#include "helpers/archive_writer.h"
#include "helpers/random_bytes.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"
#include "support/zlib_adapter.h"

namespace {

TArrayOfByte EveryByteValue() {
    TArrayOfByte bytes(256);
    std::iota(bytes.begin(), bytes.end(), 0);
    return bytes;
}

// Text that compresses into Huffman-coded blocks, so that damage shows where it lies.
TArrayOfByte NumberedLines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + " of the text\n";
    return Bytes(text);
}

// The zlib stream of count zero bytes, made without holding them.
TArrayOfByte ZerosStream(int64_t count) {
    const std::vector<uint8_t> zeros(1 << 16, 0);
    z_stream zs{};
    deflateInit(&zs, Z_BEST_COMPRESSION);
    TArrayOfByte out;
    uint8_t block[1 << 16];
    for (int64_t fed = 0;;) {
        const int64_t piece = std::min<int64_t>(count - fed, static_cast<int64_t>(zeros.size()));
        zs.next_in = const_cast<uint8_t*>(zeros.data());
        zs.avail_in = static_cast<uInt>(piece);
        fed += piece;
        const int flush = fed == count ? Z_FINISH : Z_NO_FLUSH;
        int rc = Z_OK;
        do {
            zs.next_out = block;
            zs.avail_out = sizeof block;
            rc = deflate(&zs, flush);
            out.insert(out.end(), block, block + (sizeof block - zs.avail_out));
        } while (zs.avail_out == 0);
        if (rc == Z_STREAM_END) break;
    }
    deflateEnd(&zs);
    return out;
}

struct DrainedRun {
    int status = -1;
    int64_t outputBytes = 0;
    int64_t peakMemoryBytes = 0;
};

// Starts vpak with its standard output the write end of pipeEnds (closed here afterwards)
// and its standard error the file errPath; the status of posix_spawn.
int SpawnIntoPipe(const std::vector<std::string>& args, int pipeEnds[2], const std::string& errPath, pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT, 0644);
    const int rc = SpawnVpak(args, actions, pid);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    return rc;
}

// Runs vpak with its standard output a pipe that is read to the end and counted, not kept:
// the test itself then holds no more than the output's size would make it.
DrainedRun RunDrained(const std::vector<std::string>& args, const std::string& errPath) {
    DrainedRun run;
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return run;
    pid_t pid = 0;
    const int rc = SpawnIntoPipe(args, pipeEnds, errPath, pid);
    if (rc == 0) {
        char buffer[1 << 16];
        for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) run.outputBytes += got;
        int wstatus = 0;
        struct rusage usage {};
        ::wait4(pid, &wstatus, 0, &usage);
        run.status = ExitStatusOf(wstatus);
        run.peakMemoryBytes = static_cast<int64_t>(usage.ru_maxrss) * 1024;
    }
    ::close(pipeEnds[0]);
    return run;
}

class CatCommand : public ::testing::Test {
protected:
    TempDir dir;
    std::string archive = dir / "test.pak";
};

}  // namespace

TEST_F(CatCommand, WritesEveryByteValueUnchanged) {
    WriteTestArchive(archive, TestFolder{"", {{"data", {}, {{"all.bin", EveryByteValue()}}}}, {}});
    const CliResult r = RunVpak({"cat", archive, "data/all.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Bytes(r.out), EveryByteValue());
    EXPECT_EQ(r.err, "");
}

TEST_F(CatCommand, FindsTheEntryInAnyLetterCaseWithEitherSlash) {
    WriteTestArchive(archive, TestFolder{"", {{"Data", {}, {{"Note.TXT", Bytes("found")}}}}, {}});
    for (const std::string key : {"Data\\Note.TXT", "data/note.txt", "DATA\\note.txt"}) {
        const CliResult r = RunVpak({"cat", archive, key});
        EXPECT_EQ(r.status, 0) << key << ": " << r.err;
        EXPECT_EQ(r.out, "found") << key;
    }
}

TEST_F(CatCommand, XboxFlagReadsABigEndianArchive) {
    WriteTestArchive(archive, TestFolder{"", {}, {{"a.txt", Bytes("big")}}}, true);
    const CliResult r = RunVpak({"cat", "--xbox", archive, "a.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "big");
}

TEST_F(CatCommand, MemoryStaysSmallWhateverTheEntrysSize) {
    constexpr int64_t kSize = int64_t{256} << 20;
    const TArrayOfByte stream = ZerosStream(kSize);
    TArrayOfByte directory;
    PutInt(directory, false, 0);
    PutInt(directory, false, 1);
    PutName(directory, false, "zeros.bin");
    PutInt(directory, false, 0);
    PutInt(directory, false, static_cast<int32_t>(stream.size()));
    PutInt(directory, false, static_cast<int32_t>(kSize));
    WriteFile(archive, ArchiveBytes(directory, stream, false));
    // A child's peak starts from the peak of the process it was forked from (the kernel
    // carries the old memory's high-water mark across exec), so this test's own peak is
    // the floor; a sanitizer build makes that floor large.
    rusage self {};
    getrusage(RUSAGE_SELF, &self);
    const int64_t inheritedPeak = static_cast<int64_t>(self.ru_maxrss) * 1024;
    const DrainedRun run = RunDrained({"cat", archive, "zeros.bin"}, dir / "err");
    EXPECT_EQ(run.status, 0) << ReadFileText(dir / "err");
    EXPECT_EQ(run.outputBytes, kSize);
    EXPECT_LT(run.peakMemoryBytes, inheritedPeak + (int64_t{64} << 20));
}

TEST_F(CatCommand, TextTurnsALocTableIntoItsTextForm) {
    const TArrayOfByte text = Bytes("hello\r\nwith\\09tab\r\n");
    TArrayOfByte table;
    ASSERT_TRUE(TextBytesToLoc(false, text, table));
    WriteTestArchive(archive, TestFolder{"", {}, {{"menu.loc", table}}});
    const CliResult asText = RunVpak({"cat", "--text", archive, "menu.loc"});
    EXPECT_EQ(asText.status, 0) << asText.err;
    EXPECT_EQ(Bytes(asText.out), text);
    const CliResult asStored = RunVpak({"cat", archive, "menu.loc"});
    EXPECT_EQ(Bytes(asStored.out), table) << "without --text the table is written as stored";
}

TEST_F(CatCommand, AMissingEntryFailsWithStatusOneAndSaysSo) {
    WriteTestArchive(archive, TestFolder{"", {}, {{"a.txt", Bytes("x")}}});
    const CliResult r = RunVpak({"cat", archive, "sub/none.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error :-(\nvpak: cannot show \"sub/none.txt\": the archive \"" + archive +
                         "\" holds no such file\n");
}

TEST_F(CatCommand, ADamagedStreamEndsWithStatusThreeNamingTheByteWhereItBroke) {
    const TArrayOfByte content = NumberedLines(20000);
    const TestArchive parts = EncodeTree(TestFolder{"", {}, {{"big.txt", content}}}, false);
    TArrayOfByte bytes = ArchiveBytes(parts.directory, parts.data, false);
    const size_t streamStart = bytes.size() - parts.data.size();
    for (size_t i = parts.data.size() / 2; i < parts.data.size() / 2 + 64; ++i) bytes[streamStart + i] ^= 0x5A;
    WriteFile(archive, bytes);

    const CliResult r = RunVpak({"cat", archive, "big.txt"});
    EXPECT_EQ(r.status, 3);
    ASSERT_LT(r.out.size(), content.size());
    const size_t intact = 1000;  // far in front of the damage
    ASSERT_GT(r.out.size(), intact);
    EXPECT_EQ(r.out.substr(0, intact), std::string(content.begin(), content.begin() + intact));
    EXPECT_NE(r.err.find("vpak: Damaged stream of entry \"big.txt\" in \"" + archive +
                         "\": the content breaks off at byte " + std::to_string(r.out.size()) + ": "),
              std::string::npos)
        << r.err;
}

// A stream whose content is longer or shorter than its record gives breaks off where the two
// part, with status 3, what came before it written.
TEST_F(CatCommand, AStreamOfAnotherSizeThanItsRecordBreaksOffWithStatusThree) {
    const TArrayOfByte content = Bytes("0123456789");
    const TArrayOfByte stream = CompressBytes(content.data(), static_cast<int32_t>(content.size()));
    const struct {
        int32_t recorded;
        std::string out;
        std::string breaks;
    } cases[] = {
        {4, "0123", "at byte 4: the stream goes on past the 4 bytes its record gives"},
        {12, "0123456789", "at byte 10: the stream ends there, short of the 12 bytes its record gives"},
    };
    for (const auto& c : cases) {
        TArrayOfByte directory;
        PutInt(directory, false, 0);
        PutInt(directory, false, 1);
        PutName(directory, false, "a.bin");
        PutInt(directory, false, 0);
        PutInt(directory, false, static_cast<int32_t>(stream.size()));
        PutInt(directory, false, c.recorded);
        WriteFile(archive, ArchiveBytes(directory, stream, false));
        const CliResult r = RunVpak({"cat", archive, "a.bin"});
        EXPECT_EQ(r.status, 3) << c.recorded;
        EXPECT_EQ(r.out, c.out) << c.recorded;
        EXPECT_NE(r.err.find("vpak: Damaged stream of entry \"a.bin\" in \"" + archive +
                             "\": the content breaks off " + c.breaks + "\n"),
                  std::string::npos)
            << r.err;
    }
}

TEST_F(CatCommand, AReaderClosingThePipeEndsItQuietly) {
    WriteTestArchive(archive, TestFolder{"", {}, {{"large.bin", RandomBytes(4 << 20, 17)}}});
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const std::string errPath = dir / "err";
    pid_t pid = 0;
    const int rc = SpawnIntoPipe({"cat", archive, "large.bin"}, pipeEnds, errPath, pid);
    ASSERT_EQ(rc, 0);
    char first = 0;
    EXPECT_EQ(::read(pipeEnds[0], &first, 1), 1);
    ::close(pipeEnds[0]);
    int wstatus = 0;
    ASSERT_EQ(::waitpid(pid, &wstatus, 0), pid);
    EXPECT_EQ(ExitStatusOf(wstatus), 141);
    EXPECT_TRUE(WIFEXITED(wstatus)) << "it ends by itself, not by the signal";
    EXPECT_EQ(ReadFileText(errPath), "");
}
