#include "support/named_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "helpers/temp_dir.h"
#include "support/host_file.h"
#include "support/host_lock.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(HostFile& file) {
    std::string text(static_cast<size_t>(file.Size()), '\0');
    file.Seek(0);
    file.ReadExact(text.data(), static_cast<int64_t>(text.size()));
    return text;
}

}  // namespace

TEST(NamedFile, ReadsTheFileItLookedUpAfterAnotherIsRenamedOverItsName) {
    TempDir dir;
    WriteFile(dir / "a.pak", "the first archive");
    WriteFile(dir / "b.pak", "the archive put in its place");
    host::NamedFile named(dir / "a.pak");
    fs::rename(dir / "b.pak", dir / "a.pak");

    HostFile read(named, HostFile::Mode::Read);
    EXPECT_EQ(ReadAll(read), "the first archive");
    EXPECT_FALSE(named.StillNamed());
    named.LookUpAgain();
    EXPECT_TRUE(named.StillNamed());
    HostFile again(named, HostFile::Mode::Read);
    EXPECT_EQ(ReadAll(again), "the archive put in its place");
}

TEST(NamedFile, LooksAtAFifoWithoutOpeningIt) {
    TempDir dir;
    const std::string fifo = dir / "a.pak";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const host::NamedFile named(fifo);
    EXPECT_EQ(named.Info().kind, host::EntryKind::Other);
    // A FIFO opened for reading would let a writer in; one only looked at has no reader.
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    EXPECT_EQ(writer, -1);
    EXPECT_EQ(errno, ENXIO);
    if (writer >= 0) ::close(writer);
}

TEST(NamedFile, ANameThatStandsForNothingTellsWhy) {
    TempDir dir;
    const host::NamedFile named(dir / "missing.pak");
    EXPECT_EQ(named.Info().kind, host::EntryKind::Missing);
    EXPECT_EQ(named.Info().errorCode, ENOENT);
    EXPECT_EQ(named.Resolved(), dir / "missing.pak");
    EXPECT_EQ(named.OpenDescriptor(O_RDONLY), -1);
}

TEST(NamedFile, ResolvesTheFolderAndALinkToWhereTheFileLies) {
    TempDir dir;
    WriteFile(dir / "real/a.pak", "x");
    fs::create_directory_symlink(dir / "real", dir / "folder-link");
    fs::create_symlink(dir / "real/a.pak", dir / "file-link.pak");
    const std::string real = fs::canonical(dir / "real/a.pak").string();
    EXPECT_EQ(host::NamedFile(dir / "folder-link/a.pak").Resolved(), real);
    EXPECT_EQ(host::NamedFile(dir / "file-link.pak").Resolved(), real);
    EXPECT_EQ(host::NamedFile(dir / "real/../real/a.pak").Resolved(), real);
}

TEST(NamedFile, ALinkIsFollowedToTheFileItNames) {
    TempDir dir;
    WriteFile(dir / "a.pak", "the archive");
    fs::create_symlink(dir / "a.pak", dir / "link.pak");
    const host::NamedFile named(dir / "link.pak");
    EXPECT_EQ(named.Info().kind, host::EntryKind::File);
    HostFile read(named, HostFile::Mode::Read);
    EXPECT_EQ(ReadAll(read), "the archive");
}

TEST(FileLock, ALockOnANamedFileTellsWhetherItHadToWait) {
    TempDir dir;
    WriteFile(dir / "a.pak", "x");
    const host::NamedFile named(dir / "a.pak");
    {
        const host::FileLock lock(named, host::LockKind::Exclusive);
        EXPECT_FALSE(lock.Waited());
    }
    const int holder = ::open((dir / "a.pak").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    std::thread letGo([holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::close(holder);
    });
    const host::FileLock lock(named, host::LockKind::Shared);
    letGo.join();
    EXPECT_TRUE(lock.Waited());
}

TEST(HostFile, AReopenedFileReadsTheSameFileWhateverItsNameStandsForNow) {
    TempDir dir;
    WriteFile(dir / "a.pak", "the first archive");
    HostFile first(dir / "a.pak", HostFile::Mode::Read);
    fs::remove(dir / "a.pak");
    WriteFile(dir / "a.pak", "another file");
    const std::unique_ptr<HostFile> reopened = HostFile::Reopened(first, HostFile::Mode::Read);
    EXPECT_EQ(ReadAll(*reopened), "the first archive");
    EXPECT_EQ(reopened->Path(), dir / "a.pak");
}
