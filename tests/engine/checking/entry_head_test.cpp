#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fcntl.h>

#include "engine/checking/entry_content.h"
#include "engine/reading/archive_entries.h"
#include "helpers/archive_writer.h"
#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "support/errors.h"
#include "support/host_lock.h"

namespace {

constexpr int64_t kBig = 1 << 20;

// An archive with one incompressible entry of `size` bytes, data\big.bin.
struct OneEntry {
    TempDir dir;
    std::string archive = dir / "one.pak";
    TArrayOfByte content;

    explicit OneEntry(int64_t size, bool bigEndian = false)
        : OneEntry(RandomBytes(static_cast<size_t>(size), 7), bigEndian) {}
    explicit OneEntry(TArrayOfByte bytes, bool bigEndian = false) : content(std::move(bytes)) {
        TestFolder root;
        root.folders.push_back({"data", {}, {{"big.bin", content}}});
        WriteTestArchive(archive, root, bigEndian);
    }

    // Where the entry's stream starts in the file, and how long it is.
    TArchiveEntry Entry() const {
        TArchiveIndex index;
        EXPECT_TRUE(ReadArchiveIndex(false, archive, index, nullptr));
        return index.entries.at(0);
    }
};

TEntryHeadRequest Request(const OneEntry& one, int64_t cap) {
    TEntryHeadRequest request;
    request.archivePath = one.archive;
    request.entryPath = "data\\big.bin";
    request.byteCap = cap;
    return request;
}

TEST(EntryHead, ReadsOnlyUpToTheCapAndSaysTheContentIsNotWhole) {
    OneEntry one(kBig);
    const TEntryHeadResult result = ReadEntryHead(Request(one, 100000));
    ASSERT_TRUE(result.found);
    EXPECT_FALSE(result.whole);
    EXPECT_EQ(result.bytes, TArrayOfByte(one.content.begin(), one.content.begin() + 100000));
    EXPECT_EQ(result.unpackedSize, kBig);
    EXPECT_EQ(result.entryPath, "data\\big.bin");
    EXPECT_EQ(result.damage, "");
}

TEST(EntryHead, AContentWithinTheCapIsWholeEvenWhenItFillsTheCapExactly) {
    for (const int64_t cap : {kBig, kBig + 1, 4 * kBig}) {
        OneEntry one(kBig);
        const TEntryHeadResult result = ReadEntryHead(Request(one, cap));
        EXPECT_TRUE(result.whole) << cap;
        EXPECT_EQ(result.bytes, one.content) << cap;
    }
}

TEST(EntryHead, TheCapChosenAfterTheProbeSeesTheFirstBytesAndHolds) {
    OneEntry one(kBig);
    TEntryHeadRequest request = Request(one, 50);
    request.probeBytes = 1000;
    TArrayOfByte seen;
    request.capAfterProbe = [&](const TArrayOfByte& head) {
        seen = head;
        return 300000;
    };
    const TEntryHeadResult result = ReadEntryHead(request);
    EXPECT_EQ(seen, TArrayOfByte(one.content.begin(), one.content.begin() + 1000));
    EXPECT_EQ(result.bytes.size(), 300000u);
    EXPECT_FALSE(result.whole);
}

TEST(EntryHead, AStopSetWhileTheStreamInflatesEndsItAtTheNextBlock) {
    OneEntry one(4 * kBig);
    std::atomic<bool> stop{false};
    TEntryHeadRequest request = Request(one, 4 * kBig);
    request.stop = &stop;
    request.probeBytes = 1000;
    request.capAfterProbe = [&](const TArrayOfByte&) {
        stop = true;
        return 4 * kBig;
    };
    const TEntryHeadResult result = ReadEntryHead(request);
    EXPECT_TRUE(result.stopped);
    EXPECT_FALSE(result.whole);
    EXPECT_LE(result.bytes.size(), 128u * 1024);
}

TEST(EntryHead, AStopSetBeforehandReadsNothing) {
    OneEntry one(1000);
    std::atomic<bool> stop{true};
    TEntryHeadRequest request = Request(one, kBig);
    request.stop = &stop;
    const TEntryHeadResult result = ReadEntryHead(request);
    EXPECT_TRUE(result.stopped);
    EXPECT_TRUE(result.bytes.empty());
}

// Overwrites count bytes of the entry's stream from its byte at, so that it breaks there.
void DamageStream(const OneEntry& one, int64_t at, int64_t count) {
    TArrayOfByte file = ReadFileBytes(one.archive);
    const TArchiveEntry entry = one.Entry();
    for (int64_t i = 0; i < count; ++i) file[static_cast<size_t>(entry.streamStart + at + i)] ^= 0x5A;
    WriteFile(one.archive, file);
}

// Text compresses into codes that a flipped byte breaks at once.
TArrayOfByte Lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "line " + std::to_string(i * 7919 % 100003) + "\n";
    return Bytes(text);
}

TEST(EntryHead, ADamagedStreamIsToldWithTheBytesBeforeTheBreak) {
    OneEntry one(Lines(200000));
    const TArchiveEntry entry = one.Entry();
    DamageStream(one, entry.packedSize / 2, 64);
    TNotices notices;
    TEntryHeadRequest request = Request(one, 4 * kBig);
    request.notices = &notices;
    const TEntryHeadResult result = ReadEntryHead(request);
    ASSERT_TRUE(result.found);
    EXPECT_FALSE(result.whole);
    EXPECT_NE(result.damage.find("Damaged stream of entry \"data/big.bin\""), std::string::npos) << result.damage;
    EXPECT_GT(result.bytes.size(), 1000u);
    EXPECT_LT(result.bytes.size(), one.content.size());
    EXPECT_EQ(TArrayOfByte(result.bytes.begin(), result.bytes.begin() + 1000),
              TArrayOfByte(one.content.begin(), one.content.begin() + 1000));
}

TEST(EntryHead, DamageBehindTheCapIsNeverReachedSoNeverTold) {
    OneEntry one(kBig);
    const TArchiveEntry entry = one.Entry();
    DamageStream(one, entry.packedSize - 200, 100);
    const TEntryHeadResult result = ReadEntryHead(Request(one, 64 * 1024));
    EXPECT_EQ(result.damage, "");
    EXPECT_EQ(result.bytes.size(), 64u * 1024);
}

TEST(EntryHead, AStreamOutsideTheArchiveIsToldAsDamage) {
    OneEntry one(1000);
    TArrayOfByte file = ReadFileBytes(one.archive);
    file.resize(file.size() - 10);
    WriteFile(one.archive, file);
    const TEntryHeadResult result = ReadEntryHead(Request(one, kBig));
    EXPECT_TRUE(result.found);
    EXPECT_NE(result.damage.find("outside the archive"), std::string::npos) << result.damage;
}

TEST(EntryHead, AnEntryTheArchiveDoesNotHoldIsToldInNotices) {
    OneEntry one(10);
    TNotices notices;
    TEntryHeadRequest request = Request(one, kBig);
    request.entryPath = "data\\other.bin";
    request.notices = &notices;
    const TEntryHeadResult result = ReadEntryHead(request);
    EXPECT_FALSE(result.found);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].text.find("holds no such file"), std::string::npos);
}

TEST(EntryHead, BothByteOrdersRead) {
    OneEntry one(5000, true);
    TEntryHeadRequest request = Request(one, kBig);
    request.bigEndian = true;
    const TEntryHeadResult result = ReadEntryHead(request);
    EXPECT_TRUE(result.whole);
    EXPECT_EQ(result.bytes, one.content);
}

// A thread that must not wait for an archive another process holds is told at once.
TEST(EntryHead, AThreadThatDoesNotWaitForLocksRaisesAtOnceWhileAnotherProcessHoldsTheArchive) {
    OneEntry one(10);
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(release[1]);
        const int fd = open(one.archive.c_str(), O_RDONLY);
        flock(fd, LOCK_EX);
        char c = 'x';
        (void)!write(ready[1], &c, 1);
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    // However the test ends, the child ends: closing the pipe's end lets its read return.
    struct TRelease {
        int fd;
        pid_t child;
        ~TRelease() {
            close(fd);
            waitpid(child, nullptr, 0);
        }
    } releaseChild{release[1], child};
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    // Were the process's way in force, the wait would be given up with ECancelled.
    const host::LockWaiting former = host::SetLockWaiting(
        host::LockWaiting(true, [](const std::string&, bool) { throw ECancelled(); }));
    bool raised = false;
    try {
        const host::ThreadLockWaiting noWait(host::LockWaiting(false));
        ReadEntryHead(Request(one, 10));
    } catch (const EFileBusy&) {
        raised = true;
    } catch (const ECancelled&) {
    }
    host::SetLockWaiting(former);
    EXPECT_TRUE(raised);
}

}  // namespace
