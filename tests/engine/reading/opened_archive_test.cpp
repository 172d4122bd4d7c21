#include "engine/reading/internal/opened_archive.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "helpers/temp_dir.h"
#include "support/errors.h"
#include "support/host_entries.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(HostFile& file) {
    std::string text(static_cast<size_t>(file.Size()), '\0');
    file.Seek(0);
    file.ReadExact(text.data(), static_cast<int64_t>(text.size()));
    return text;
}

// Two archives: a.pak, looked up first, and b.pak, which another writer puts in its place.
struct TwoArchives {
    TwoArchives() {
        WriteFile(dir / "a.pak", "the archive looked up");
        WriteFile(dir / "b.pak", "the archive put in its place");
    }
    void PutInPlace() const { fs::rename(dir / "b.pak", dir / "a.pak"); }

    TempDir dir;
    std::string archive = dir / "a.pak";
};

}  // namespace

TEST(OpenedArchive, ALockThatWaitedIsTakenOnTheFileThatStandsUnderTheNameOnceItIsFree) {
    for (const host::LockKind kind : {host::LockKind::Shared, host::LockKind::Exclusive}) {
        TwoArchives s;
        TOpenedArchive opened(s.archive);
        // Another writer holds the archive, puts the new one in its place and lets go.
        const int holder = ::open(s.archive.c_str(), O_RDONLY);
        ASSERT_EQ(::flock(holder, LOCK_EX), 0);
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            s.PutInPlace();
            ::close(holder);
        });
        const std::unique_ptr<host::FileLock> lock = opened.Lock(kind);
        writer.join();
        EXPECT_EQ(opened.Identity(), host::Stat(s.archive).identity);
        EXPECT_EQ(lock->Identity(), opened.Identity());
        EXPECT_EQ(ReadAll(opened.Reader()), "the archive put in its place");
    }
}

TEST(OpenedArchive, AnExclusiveLockIsTakenOnTheFileThatStandsUnderTheNameEvenWithoutAWait) {
    TwoArchives s;
    TOpenedArchive opened(s.archive);
    s.PutInPlace();
    const std::unique_ptr<host::FileLock> lock = opened.Lock(host::LockKind::Exclusive);
    EXPECT_EQ(ReadAll(opened.Reader()), "the archive put in its place");
}

TEST(OpenedArchive, ASharedLockTakenAtOnceReadsTheWholeArchiveThatWasLookedUp) {
    TwoArchives s;
    TOpenedArchive opened(s.archive);
    s.PutInPlace();
    const std::unique_ptr<host::FileLock> lock = opened.Lock(host::LockKind::Shared);
    EXPECT_EQ(ReadAll(opened.Reader()), "the archive looked up");
}

TEST(OpenedArchive, ALockOnANameThatNoLongerStandsForAFileRaisesAsOpeningItWould) {
    TwoArchives s;
    TOpenedArchive opened(s.archive);
    fs::remove(s.archive);
    try {
        opened.Lock(host::LockKind::Exclusive);
        ADD_FAILURE() << "no error raised";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Code(), ENOENT);
        EXPECT_EQ(std::string(error.what()), "Cannot open file \"" + s.archive + "\": No such file or directory");
    }
}

TEST(OpenedArchive, TheJournalLiesBesideTheFileALinkNames) {
    TwoArchives s;
    fs::create_symlink(s.archive, s.dir / "link.pak");
    const TOpenedArchive opened(s.dir / "link.pak");
    EXPECT_EQ(opened.JournalPath(), fs::canonical(s.archive).string() + ".vpak-journal");
    EXPECT_EQ(opened.Path(), s.dir / "link.pak");
}
