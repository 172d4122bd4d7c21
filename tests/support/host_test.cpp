#include "support/file_replacing.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/host_lock.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"
#include "hooks/host_test_hooks.h"
#include "support/errors.h"

namespace fs = std::filesystem;

namespace {

using host::hooks::Operation;

// Clears any injected fault however a test ends.
struct FaultReset {
    ~FaultReset() { host::hooks::ClearFaults(); }
};

int CodeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EInOutError& error) {
        return error.Code();
    }
    return 0;
}

void WriteText(HostFile& file, const std::string& text) { file.Write(text.data(), static_cast<int64_t>(text.size())); }

// True when another process can take a lock of that kind on path at once: it opens path
// itself, so only a lock this process holds in flock's own sense stands in its way.
bool AnotherProcessCanLock(const std::string& path, host::LockKind kind) {
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("cannot fork");
    if (pid == 0) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        const int operation = (kind == host::LockKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
        ::_exit(fd >= 0 && ::flock(fd, operation) == 0 ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

// ---- creating, renaming, removing --------------------------------------------------------

TEST(HostFile, CreateNewRefusesAnExistingNameAndALink) {
    TempDir dir;
    WriteFile(dir / "taken", "old");
    fs::create_symlink(dir / "target", dir / "link");
    EXPECT_EQ(CodeOf([&] { HostFile f(dir / "taken", HostFile::Mode::CreateNew); }), EEXIST);
    EXPECT_EQ(CodeOf([&] { HostFile f(dir / "link", HostFile::Mode::CreateNew); }), EEXIST);
    EXPECT_FALSE(fs::exists(dir / "target"));
    EXPECT_EQ(ReadFileText(dir / "taken"), "old");
}

TEST(HostFile, CreateNewAppliesThePermissionsGiven) {
    TempDir dir;
    { HostFile f(dir / "private", HostFile::Mode::CreateNew, 0600); }
    EXPECT_EQ(fs::status(dir / "private").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST(HostFile, ReadNoLinkRefusesASymbolicLink) {
    TempDir dir;
    WriteFile(dir / "real", "x");
    fs::create_symlink(dir / "real", dir / "link");
    EXPECT_EQ(CodeOf([&] { HostFile f(dir / "link", HostFile::Mode::ReadNoLink); }), ELOOP);
}

TEST(HostFile, SetOwnershipCopiesThePermissionBits) {
    TempDir dir;
    WriteFile(dir / "old", "o");
    fs::permissions(dir / "old", fs::perms::owner_read | fs::perms::group_read);
    HostFile file(dir / "new", HostFile::Mode::Create);
    file.SetOwnership(host::OwnershipOf(dir / "old"));
    EXPECT_EQ(fs::status(dir / "new").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::group_read);
}

TEST(HostFile, ReadBytesAtReadsEachPositionAndKeepsThePosition) {
    TempDir dir;
    WriteFile(dir / "f", "abcdefghij");
    HostFile f(dir / "f", HostFile::Mode::Read);
    f.Seek(3);
    uint8_t bytes[4] = {};
    f.ReadBytesAt({9, 0, 4, 0}, bytes);
    EXPECT_EQ(std::string(bytes, bytes + 4), "jaea");
    EXPECT_EQ(f.Position(), 3);
}

TEST(HostFile, ReadBytesAtPastTheEndRaises) {
    TempDir dir;
    WriteFile(dir / "f", "abc");
    HostFile f(dir / "f", HostFile::Mode::Read);
    uint8_t bytes[2] = {};
    EXPECT_THROW(f.ReadBytesAt({1, 3}, bytes), EInOutError);
}

TEST(HostFile, ErrorsNameTheFileAsTheSubjectItWasGiven) {
    FaultReset reset;
    TempDir dir;
    WriteFile(dir / "f", "abc");
    HostFile plain(dir / "f", HostFile::Mode::ReadWrite);
    HostFile named(dir / "f", HostFile::Mode::ReadWrite);
    named.NameInMessages("the journal of \"x.pak\"");
    const auto messageOf = [](const std::function<void()>& action) {
        try {
            action();
        } catch (const EInOutError& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    uint8_t bytes[8] = {};
    EXPECT_EQ(messageOf([&] { plain.ReadExact(bytes, 8); }),
              "Cannot read file \"" + dir / "f" + "\": Read beyond end of file");
    EXPECT_EQ(messageOf([&] { named.ReadExact(bytes, 8); }), "Cannot read the journal of \"x.pak\": Read beyond end of file");
    host::hooks::FailNth(Operation::Write, 1, ENOSPC);
    EXPECT_EQ(messageOf([&] { named.Write("x", 1); }), "Cannot write the journal of \"x.pak\": No space left on device");
}

TEST(HostFile, KindAndOwnershipDescribeTheOpenFile) {
    TempDir dir;
    WriteFile(dir / "f", "x");
    ASSERT_EQ(chmod((dir / "f").c_str(), 0640), 0);
    HostFile f(dir / "f", HostFile::Mode::ReadNoLink);
    EXPECT_EQ(f.Kind(), host::EntryKind::File);
    EXPECT_EQ(f.Ownership().mode, 0640u);
    EXPECT_EQ(f.Ownership().user, host::CurrentUser());
    EXPECT_EQ(host::CurrentUser(), static_cast<uint32_t>(geteuid()));
}

TEST(Host, RefusedAccessIsToldFromOtherFailures) {
    EXPECT_TRUE(host::IsAccessRefused(EACCES));
    EXPECT_TRUE(host::IsAccessRefused(EPERM));
    EXPECT_TRUE(host::IsAccessRefused(EROFS));
    EXPECT_FALSE(host::IsAccessRefused(EIO));
    EXPECT_FALSE(host::IsAccessRefused(ENOSPC));
}

TEST(Host, RenameReplacesTheTargetAndRemoveReportsWhetherAnythingWentAway) {
    TempDir dir;
    WriteFile(dir / "a", "new");
    WriteFile(dir / "b", "old");
    host::Rename(dir / "a", dir / "b");
    EXPECT_EQ(ReadFileText(dir / "b"), "new");
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_TRUE(host::RemoveFile(dir / "b"));
    EXPECT_FALSE(host::RemoveFile(dir / "b"));
    EXPECT_NE(CodeOf([&] { host::Rename(dir / "missing", dir / "b"); }), 0);
}

TEST(Host, StatSaysWhyAPathCouldNotBeLookedAt) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    EXPECT_EQ(host::Stat(dir / "missing").errorCode, ENOENT);
    EXPECT_EQ(host::Stat(dir / "file/below").errorCode, ENOTDIR);
    EXPECT_EQ(host::StatNoFollow("").errorCode, ENOENT);
    EXPECT_EQ(host::Stat(dir / "file").errorCode, 0);
}

TEST(Host, NameExistsSeesADanglingLinkThatStatDoesNot) {
    TempDir dir;
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    EXPECT_TRUE(host::NameExists(dir / "dangling"));
    EXPECT_EQ(host::Stat(dir / "dangling").kind, host::EntryKind::Missing);
    EXPECT_EQ(host::StatNoFollow(dir / "dangling").kind, host::EntryKind::Other);
    EXPECT_FALSE(host::NameExists(dir / "nothing"));
}

TEST(Host, FlushingAFileAndItsDirectorySucceeds) {
    TempDir dir;
    HostFile file(dir / "f", HostFile::Mode::Create);
    WriteText(file, "data");
    EXPECT_NO_THROW(file.Flush());
    EXPECT_NO_THROW(host::FlushDirectoryOf(dir / "f"));
}

// ---- replacing a file's content -----------------------------------------------------------

namespace {

void WriteReplacing(const std::string& path, const std::string& text) {
    host::WriteFileReplacing(path, text.data(), static_cast<int64_t>(text.size()));
}

std::vector<std::string> NamesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(WriteFileReplacing, ReplacesAFileWithANewOneOfTheSamePermissionBits) {
    TempDir dir;
    WriteFile(dir / "out", "old content");
    fs::permissions(dir / "out", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const host::FileIdentity before = host::Stat(dir / "out").identity;
    WriteReplacing(dir / "out", "new");
    EXPECT_EQ(ReadFileText(dir / "out"), "new");
    EXPECT_NE(host::Stat(dir / "out").identity, before) << "written into a new file, not in place";
    EXPECT_EQ(fs::status(dir / "out").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"out"});
}

TEST(WriteFileReplacing, CreatesAMissingFileAsAnyNewFileIsCreated) {
    TempDir dir;
    WriteFile(dir / "reference", "");
    WriteReplacing(dir / "out", "");
    EXPECT_EQ(ReadFileText(dir / "out"), "");
    EXPECT_EQ(fs::status(dir / "out").permissions(), fs::status(dir / "reference").permissions());
    EXPECT_EQ(NamesIn(dir.Path()), (std::vector<std::string>{"out", "reference"}));
}

TEST(WriteFileReplacing, ADirectoryOrASocketRaisesAnErrorNamingItAndStays) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    const std::string socketPath = dir / "socket";
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    for (const std::string& path : {dir / "folder", socketPath}) {
        try {
            WriteReplacing(path, "text");
            ADD_FAILURE() << "no error for " << path;
        } catch (const EInOutError& error) {
            EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
        }
    }
    close(listener);
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
    EXPECT_TRUE(fs::is_socket(socketPath));
    EXPECT_EQ(NamesIn(dir.Path()), (std::vector<std::string>{"folder", "socket"}));
}

TEST(WriteFileReplacing, AFailureAtAnyStepKeepsTheOldFileAndLeavesNoTemporaryFile) {
    FaultReset reset;
    for (const Operation step : {Operation::Write, Operation::Flush, Operation::Rename}) {
        TempDir dir;
        WriteFile(dir / "out", "old content");
        host::hooks::FailNth(step, 1, ENOSPC);
        EXPECT_EQ(CodeOf([&] { WriteReplacing(dir / "out", "new content"); }), ENOSPC);
        host::hooks::ClearFaults();
        EXPECT_EQ(ReadFileText(dir / "out"), "old content");
        EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"out"});
    }
}

TEST(WriteFileReplacing, AFailureNamesTheFileNeverItsTemporaryName) {
    FaultReset reset;
    TempDir dir;
    const struct {
        Operation step;
        std::string message;
    } cases[] = {
        {Operation::Write, "Cannot write file \"" + dir / "out" + "\": No space left on device"},
        {Operation::Flush, "Cannot flush file \"" + dir / "out" + "\": No space left on device"},
        {Operation::Rename, "Cannot rename a file to \"" + dir / "out" + "\": No space left on device"},
    };
    for (const auto& c : cases) {
        host::hooks::FailNth(c.step, 1, ENOSPC);
        try {
            WriteReplacing(dir / "out", "new content");
            ADD_FAILURE() << c.message;
        } catch (const EInOutError& error) {
            EXPECT_EQ(error.what(), c.message);
        }
        host::hooks::ClearFaults();
    }
}

TEST(WriteFileReplacing, AFileThatMayNotBeWrittenIsNotReplaced) {
    if (!CanRunAsOtherUser()) GTEST_SKIP() << "permissions only bite for another user: run as root";
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::all);  // the folder would let the other user rename into it
    WriteFile(dir / "out", "old");
    fs::permissions(dir / "out", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(RunAsOtherUser([&] { return CodeOf([&] { WriteReplacing(dir / "out", "new"); }); }), EACCES);
    EXPECT_EQ(ReadFileText(dir / "out"), "old");
    EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"out"});
}

TEST(WriteFileReplacing, AMissingFolderRaisesAnErrorNamingThePath) {
    TempDir dir;
    try {
        WriteReplacing(dir / "no-such-dir/out", "text");
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Code(), ENOENT);
        EXPECT_NE(std::string(error.what()).find(dir / "no-such-dir/out"), std::string::npos) << error.what();
    }
}

// ---- locks -------------------------------------------------------------------------------

TEST(FileLock, LocksOfOneProcessNestWhereTheyWouldOtherwiseWaitForThemselves) {
    TempDir dir;
    WriteFile(dir / "a.pak", "x");
    const host::FileLock outer(dir / "a.pak", host::LockKind::Exclusive);
    EXPECT_FALSE(AnotherProcessCanLock(dir / "a.pak", host::LockKind::Shared));
    {
        // Granted at once: flock would make a second descriptor of this process wait.
        const host::FileLock inner(dir / "a.pak", host::LockKind::Exclusive);
        const host::FileLock reader(dir / "a.pak", host::LockKind::Shared);
        EXPECT_EQ(inner.Identity(), outer.Identity());
        EXPECT_FALSE(AnotherProcessCanLock(dir / "a.pak", host::LockKind::Shared));
    }
    // The nested locks end without ending the one they nest in.
    EXPECT_FALSE(AnotherProcessCanLock(dir / "a.pak", host::LockKind::Shared));
}

TEST(FileLock, LockEndsWithItsObject) {
    TempDir dir;
    WriteFile(dir / "a.pak", "x");
    {
        const host::FileLock lock(dir / "a.pak", host::LockKind::Exclusive);
        EXPECT_FALSE(AnotherProcessCanLock(dir / "a.pak", host::LockKind::Exclusive));
    }
    EXPECT_TRUE(AnotherProcessCanLock(dir / "a.pak", host::LockKind::Exclusive));
    const int fd = open((dir / "a.pak").c_str(), O_RDONLY);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);
}

TEST(FileLock, LockHeldElsewhereIsReportedWithoutWaiting) {
    TempDir dir;
    WriteFile(dir / "a.pak", "x");
    const int fd = open((dir / "a.pak").c_str(), O_RDONLY);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    HostFile file(dir / "a.pak", HostFile::Mode::Read);
    EXPECT_FALSE(host::FileLock::TryExclusive(file));
    EXPECT_EQ(CodeOf([&] { host::FileLock lock(file, host::LockKind::Exclusive, false); }), EWOULDBLOCK);
    close(fd);
    EXPECT_TRUE(host::FileLock::TryExclusive(file));
}

// ---- fault injection ---------------------------------------------------------------------

TEST(FaultInjection, NthWriteFailsWithTheCodeAfterWritingHalfItsBytes) {
    FaultReset reset;
    TempDir dir;
    HostFile file(dir / "f", HostFile::Mode::Create);
    host::hooks::FailNth(Operation::Write, 2, ENOSPC);
    WriteText(file, "first");
    EXPECT_EQ(CodeOf([&] { WriteText(file, "123456"); }), ENOSPC);
    EXPECT_EQ(ReadFileText(dir / "f"), "first123");
    // A fault that is not persistent strikes once.
    file.Seek(file.Size());
    WriteText(file, "!");
    EXPECT_EQ(ReadFileText(dir / "f"), "first123!");
}

TEST(FaultInjection, PersistentFaultStrikesEveryLaterOperationToo) {
    FaultReset reset;
    TempDir dir;
    HostFile file(dir / "f", HostFile::Mode::Create);
    host::hooks::FailNth(Operation::Write, 1, EIO, true);
    EXPECT_EQ(CodeOf([&] { WriteText(file, "ab"); }), EIO);
    EXPECT_EQ(CodeOf([&] { WriteText(file, "cd"); }), EIO);
    host::hooks::ClearFaults();
    EXPECT_NO_THROW(WriteText(file, "ef"));
}

TEST(FaultInjection, EveryKindOfOperationCanBeMadeToFail) {
    FaultReset reset;
    TempDir dir;
    WriteFile(dir / "f", "content");
    HostFile file(dir / "f", HostFile::Mode::ReadWrite);
    char buffer[4];

    host::hooks::FailNth(Operation::Read, 1, EIO);
    EXPECT_EQ(CodeOf([&] { file.Read(buffer, 4); }), EIO);
    host::hooks::FailNth(Operation::Truncate, 1, EIO);
    EXPECT_EQ(CodeOf([&] { file.Truncate(); }), EIO);
    host::hooks::FailNth(Operation::Flush, 1, ENOSPC);
    EXPECT_EQ(CodeOf([&] { file.Flush(); }), ENOSPC);
    host::hooks::FailNth(Operation::Flush, 1, EIO);
    EXPECT_EQ(CodeOf([&] { host::FlushDirectoryOf(dir / "f"); }), EIO);
    host::hooks::FailNth(Operation::Rename, 1, EIO);
    EXPECT_EQ(CodeOf([&] { host::Rename(dir / "f", dir / "g"); }), EIO);
    EXPECT_TRUE(fs::exists(dir / "f"));
    host::hooks::FailNth(Operation::Remove, 1, EIO);
    EXPECT_EQ(CodeOf([&] { host::RemoveFile(dir / "f"); }), EIO);
    EXPECT_FALSE(host::RemoveFileQuietly(dir / "nothing"));
    EXPECT_TRUE(fs::exists(dir / "f"));
}

TEST(FaultInjection, OnlyTheChosenKindCounts) {
    FaultReset reset;
    TempDir dir;
    WriteFile(dir / "f", "content");
    HostFile file(dir / "f", HostFile::Mode::ReadWrite);
    char buffer[4];
    host::hooks::FailNth(Operation::Write, 1, EIO);
    EXPECT_NO_THROW(file.Read(buffer, 4));
    EXPECT_NO_THROW(file.Flush());
    EXPECT_EQ(CodeOf([&] { WriteText(file, "x"); }), EIO);
}

TEST(FaultInjection, OperationCountGrowsWithEveryCountedOperation) {
    TempDir dir;
    HostFile file(dir / "f", HostFile::Mode::Create);
    const int64_t before = host::hooks::OperationCount();
    WriteText(file, "abc");
    file.Flush();
    file.Seek(0);
    char buffer[3];
    file.Read(buffer, 3);
    EXPECT_EQ(host::hooks::OperationCount() - before, 3);
}

TEST(FaultInjection, ChildProcessTakesItsFaultFromTheEnvironment) {
    TempDir dir;
    WriteFile(dir / "f.pak", std::string(64, 'x'));
    const CliResult result =
        RunVpakWithEnvironment(VpakBuild::TestHooks, {"list", dir / "f.pak"}, {"VPAK_TEST_FAULT=read:1:EIO"});
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find("Input/output error"), std::string::npos) << result.err;
}

TEST(FaultInjection, ChildProcessKillsItselfAtTheOperationTheEnvironmentNames) {
    TempDir dir;
    WriteFile(dir / "f.pak", std::string(64, 'x'));
    const CliResult result =
        RunVpakWithEnvironment(VpakBuild::TestHooks, {"list", dir / "f.pak"}, {"VPAK_TEST_KILL_AT=1"});
    EXPECT_EQ(result.status, 128 + 9);
}

// ---- waiting for a lock another process holds ---------------------------------------------

// Another open file description of the same file: flock lets it stand in the way as
// another process would.
class LockHeldElsewhere : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(path_, "archive");
        fd_ = ::open(path_.c_str(), O_RDONLY);
        ASSERT_EQ(::flock(fd_, LOCK_EX), 0);
    }
    void TearDown() override {
        Release();
        host::SetLockWaiting({});
    }
    void Release() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    TempDir dir_;
    std::string path_ = dir_ / "a.pak";
    int fd_ = -1;
};

TEST_F(LockHeldElsewhere, WithoutWaitingTheLockFailsAtOnceAsBusy) {
    host::SetLockWaiting({false, nullptr});
    EXPECT_THROW(host::FileLock(path_, host::LockKind::Shared), EFileBusy);
    Release();
    EXPECT_NO_THROW(host::FileLock(path_, host::LockKind::Exclusive));
}

TEST_F(LockHeldElsewhere, TheWaitIsToldWhenItBeginsAndEndsOnceTheHolderLetsGo) {
    std::vector<bool> told;
    host::SetLockWaiting({true, [&](const std::string& path, bool begins) {
                              EXPECT_EQ(path, path_);
                              told.push_back(begins);
                              if (told.size() == 2) Release();
                          }});
    const host::FileLock lock(path_, host::LockKind::Exclusive);
    EXPECT_EQ(told, (std::vector<bool>{true, false}));
    EXPECT_FALSE(AnotherProcessCanLock(path_, host::LockKind::Shared));
}

TEST_F(LockHeldElsewhere, AWaitGivenUpLeavesNoLockBehind) {
    host::SetLockWaiting({true, [](const std::string&, bool) { throw ECancelled(); }});
    EXPECT_THROW(host::FileLock(path_, host::LockKind::Exclusive), ECancelled);
    Release();
    EXPECT_TRUE(AnotherProcessCanLock(path_, host::LockKind::Exclusive));
}
