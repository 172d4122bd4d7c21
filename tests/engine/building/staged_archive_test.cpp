#include "engine/building/internal/staged_archive.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <algorithm>
#include <functional>
#include <vector>

#include "engine/building/archive_builder.h"
#include "engine/reading/internal/archive_reading.h"
#include "engine/updating/internal/journal_recovery.h"
#include "engine/reading/internal/opened_archive.h"
#include "helpers/temp_dir.h"
#include "hooks/host_test_hooks.h"
#include "support/errors.h"
#include "support/host_lock.h"
#include "helpers/operation_results.h"

namespace fs = std::filesystem;

namespace {

struct FaultReset {
    ~FaultReset() { host::hooks::ClearFaults(); }
};

bool Build(const std::string& dir, const std::string& archive, const ProgressProc& progress = {}) {
    int32_t folders = 0;
    int32_t files = 0;
    return Made(MakeArchive({.sourceDir = dir, .archivePath = archive, .convertLoc = false, .progress = progress}), folders, files);
}

// A source tree, and an archive built from another tree, to be replaced.
struct BuildScene {
    TempDir dir;
    std::string source = dir / "src";
    std::string archive = dir / "data.pak";
    // A name a build of the archive could have made.
    std::string staging = archive + kStagingSuffix + "0123456789ab";
    TArrayOfByte oldArchive;

    BuildScene() {
        WriteFile(dir / "old/only-in-old.txt", "old content");
        EXPECT_TRUE(Build(dir / "old", archive));
        oldArchive = ReadFileBytes(archive);
        WriteFile(source + "/a.txt", "alpha");
        WriteFile(source + "/sub/b.txt", std::string(5000, 'b'));
    }
};

int CodeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EInOutError& error) {
        return error.Code();
    }
    return 0;
}

mode_t PermissionBits(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

}  // namespace

TEST(StagedBuild, CompleteBuildReplacesTheArchiveAndLeavesNoStagingFile) {
    BuildScene s;
    ASSERT_TRUE(Build(s.source, s.archive));
    EXPECT_NE(ReadFileBytes(s.archive), s.oldArchive);
    EXPECT_EQ(StagingPathsOf(s.archive), std::vector<std::string>{});
}

TEST(StagedBuild, EachBuildWritesAFileOfANameNoOneCouldPredict) {
    BuildScene s;
    std::vector<std::string> seen;
    for (int build = 0; build < 3; ++build) {
        ASSERT_TRUE(Build(s.source, s.archive, [&](const TProgress&) {
            for (const std::string& path : StagingPathsOf(s.archive))
                if (std::find(seen.begin(), seen.end(), path) == seen.end()) seen.push_back(path);
        }));
    }
    ASSERT_EQ(seen.size(), 3u);
    for (const std::string& path : seen) {
        EXPECT_EQ(path.size(), s.archive.size() + std::string(kStagingSuffix).size() + kStagingRandomDigits);
        EXPECT_EQ(path.compare(0, s.archive.size() + 10, s.archive + ".vpak-new-"), 0) << path;
    }
}

TEST(StagedBuild, ErrorWhileWritingLeavesTheOldArchiveAndNoStagingFile) {
    FaultReset reset;
    BuildScene s;
    host::hooks::FailNth(host::hooks::Operation::Write, 2, ENOSPC);
    EXPECT_THROW(Build(s.source, s.archive), EInOutError);
    EXPECT_EQ(ReadFileBytes(s.archive), s.oldArchive);
    EXPECT_EQ(StagingPathsOf(s.archive), std::vector<std::string>{});
}

TEST(StagedBuild, ErrorWithoutAnOldArchiveLeavesNoFileAtAll) {
    FaultReset reset;
    BuildScene s;
    const std::string fresh = s.dir / "fresh.pak";
    host::hooks::FailNth(host::hooks::Operation::Rename, 1, EIO);
    EXPECT_THROW(Build(s.source, fresh), EInOutError);
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(StagingPathsOf(fresh), std::vector<std::string>{});
}

TEST(StagedBuild, KilledBuildLeavesTheOldArchiveAndItsLeftOverGoesWithTheNextBuild) {
    BuildScene s;
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Dies in the middle of the scan, with streams written to the staging file.
        Build(s.source, s.archive, [](const TProgress& progress) {
            if (progress.HasPosition()) _exit(0);
        });
        _exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFileBytes(s.archive), s.oldArchive);
    ASSERT_EQ(StagingPathsOf(s.archive).size(), 1u);

    ASSERT_TRUE(Build(s.source, s.archive));
    EXPECT_EQ(StagingPathsOf(s.archive), std::vector<std::string>{});
    EXPECT_NE(ReadFileBytes(s.archive), s.oldArchive);
}

TEST(StagedBuild, ABuildTakesTheArchivesLockBeforeAnyWorkOrWithoutWaitingFailsAtOnce) {
    BuildScene s;
    int fd = open(s.archive.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    const host::LockWaiting before = host::SetLockWaiting({false, nullptr});
    int reports = 0;
    EXPECT_THROW(Build(s.source, s.archive, [&](const TProgress&) { ++reports; }), EFileBusy);
    // Nothing was scanned or compressed: only "preparing..." came before the lock.
    EXPECT_LE(reports, 1);
    EXPECT_EQ(ReadFileBytes(s.archive), s.oldArchive);
    EXPECT_EQ(StagingPathsOf(s.archive), std::vector<std::string>{});

    int waits = 0;
    host::SetLockWaiting({true, [&](const std::string&, bool) {
                              if (++waits == 2) {
                                  close(fd);
                                  fd = -1;
                              }
                          }});
    EXPECT_TRUE(Build(s.source, s.archive));
    EXPECT_GE(waits, 2);
    EXPECT_NE(ReadFileBytes(s.archive), s.oldArchive);
    host::SetLockWaiting(before);
    if (fd >= 0) close(fd);
}

TEST(StagedBuild, ABuildOfANewTargetWaitsForAnotherBuildOfItOrWithoutWaitingFailsLeavingItAlone) {
    BuildScene s;
    const std::string fresh = s.dir / "fresh.pak";
    const std::string other = fresh + kStagingSuffix + "00000000abcd";
    WriteFile(other, "another build's streams");
    int fd = open(other.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    const host::LockWaiting before = host::SetLockWaiting({false, nullptr});
    EXPECT_THROW(Build(s.source, fresh), EFileBusy);
    EXPECT_EQ(ReadFileText(other), "another build's streams");
    EXPECT_FALSE(fs::exists(fresh));

    // The other build ends as a failed one does: its file removed, then its lock let go.
    int waits = 0;
    host::SetLockWaiting({true, [&](const std::string&, bool) {
                              if (++waits == 2) {
                                  fs::remove(other);
                                  close(fd);
                                  fd = -1;
                              }
                          }});
    EXPECT_TRUE(Build(s.source, fresh));
    EXPECT_GE(waits, 2);
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_EQ(StagingPathsOf(fresh), std::vector<std::string>{});
    host::SetLockWaiting(before);
    if (fd >= 0) close(fd);
}

TEST(StagedBuild, AFileUnderTheNameEarlierVersionsStagedToStandsInNoBuildsWay) {
    BuildScene s;
    const std::string planted = s.archive + ".vpak-new";
    WriteFile(planted, "someone else's");
    const int fd = open(planted.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    const host::LockWaiting before = host::SetLockWaiting({false, nullptr});
    EXPECT_TRUE(Build(s.source, s.archive));
    host::SetLockWaiting(before);
    close(fd);
    EXPECT_NE(ReadFileBytes(s.archive), s.oldArchive);
    EXPECT_EQ(ReadFileText(planted), "someone else's");
}

TEST(StagedBuild, LinkUnderTheStagingNameIsRemovedNotFollowed) {
    BuildScene s;
    WriteFile(s.dir / "victim", "keep");
    fs::create_symlink(s.dir / "victim", s.staging);
    ASSERT_TRUE(Build(s.source, s.archive));
    EXPECT_EQ(ReadFileText(s.dir / "victim"), "keep");
    EXPECT_FALSE(fs::exists(fs::symlink_status(s.staging)));
    EXPECT_EQ(StagingPathsOf(s.archive), std::vector<std::string>{});
}

TEST(StagedBuild, ReplacedArchiveKeepsItsPermissionBits) {
    BuildScene s;
    for (const mode_t mode : {mode_t{0640}, mode_t{0604}, mode_t{0755}}) {
        ASSERT_EQ(chmod(s.archive.c_str(), mode), 0);
        ASSERT_TRUE(Build(s.source, s.archive));
        EXPECT_EQ(PermissionBits(s.archive), mode);
    }
}

TEST(StagedBuild, NewArchiveGetsTheUsualPermissionsOfANewFile) {
    BuildScene s;
    const mode_t mask = umask(022);
    ASSERT_TRUE(Build(s.source, s.dir / "fresh.pak"));
    umask(mask);
    EXPECT_EQ(PermissionBits(s.dir / "fresh.pak"), 0644u);
}

TEST(StagedBuild, TargetThatIsALinkStaysALinkAndItsFileGetsTheArchive) {
    BuildScene s;
    const std::string link = s.dir / "link.pak";
    fs::create_symlink(s.archive, link);
    ASSERT_TRUE(Build(s.source, link));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_NE(ReadFileBytes(s.archive), s.oldArchive);
    EXPECT_EQ(StagingPathsOf(s.archive), std::vector<std::string>{});
}

TEST(StagedBuild, DirectoryAsTargetRaisesBeforeAnythingIsWritten) {
    BuildScene s;
    fs::create_directories(s.dir / "folder.pak");
    int32_t folders = 7;
    int32_t files = 9;
    EXPECT_EQ(CodeOf([&] { Made(MakeArchive({.sourceDir = s.source, .archivePath = s.dir / "folder.pak", .convertLoc = false}), folders, files); }),
              EISDIR);
    EXPECT_EQ(folders, 7);
    EXPECT_EQ(StagingPathsOf(s.dir / "folder.pak"), std::vector<std::string>{});
}

TEST(StagedBuild, JournalOfAnInterruptedUpdateOfTheOldArchiveGoesWithIt) {
    BuildScene s;
    WriteFile(JournalPathOf(s.archive), "a journal nobody sealed");
    ASSERT_TRUE(Build(s.source, s.archive));
    EXPECT_FALSE(fs::exists(JournalPathOf(s.archive)));
    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::NoJournal);
}

TEST(StagedBuild, JournalOfAnotherUserStaysUnappliedAndTheBuildGoesThrough) {
    BuildScene s;
    const std::string journal = JournalPathOf(s.archive);
    WriteFile(journal, "another user's journal");
    ASSERT_EQ(chown(journal.c_str(), 65534, 65534), 0);
    TNotices notices;
    int32_t folders = 0;
    int32_t files = 0;
    ASSERT_TRUE(Made(MakeArchive({.sourceDir = s.source, .archivePath = s.archive, .convertLoc = false, .notices = &notices}), folders, files));
    EXPECT_NE(ReadFileBytes(s.archive), s.oldArchive);
    EXPECT_EQ(ReadFileText(journal), "another user's journal");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, "left the journal \"" + journal + "\": it belongs to another user, " + UserWords(65534));
}

TEST(StagedBuild, StagingFileInsideTheSourceTreeIsNotPacked) {
    TempDir dir;
    WriteFile(dir / "src/a", "a");
    int32_t folders = 0;
    int32_t files = 0;
    TProgress lastPosition;
    const ProgressProc progress = [&](const TProgress& report) {
        if (report.HasPosition()) lastPosition = report;
    };
    ASSERT_TRUE(Made(MakeArchive({.sourceDir = dir / "src", .archivePath = dir / "src/out.pak", .convertLoc = false, .progress = progress}), folders, files));
    ASSERT_TRUE(Made(MakeArchive({.sourceDir = dir / "src", .archivePath = dir / "src/out.pak", .convertLoc = false, .progress = progress}), folders, files));
    EXPECT_EQ(files, 1);
    EXPECT_EQ(lastPosition.done, 1);
    EXPECT_EQ(lastPosition.total, 1);
}

TEST(StagedBuild, OpeningTheArchiveRemovesWhatAKilledBuildLeftButNotARunningBuildsFile) {
    BuildScene s;
    WriteFile(s.staging, "left over");
    { const TArchiveReading reading(s.archive); }
    EXPECT_FALSE(fs::exists(s.staging));

    WriteFile(s.staging, "being written");
    const int fd = open(s.staging.c_str(), O_RDONLY);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    { const TArchiveReading reading(s.archive); }
    EXPECT_TRUE(fs::exists(s.staging));
    close(fd);
    EXPECT_EQ(ReadFileBytes(s.archive), s.oldArchive);
}

TEST(StagedBuild, JournalLeftWhereNoArchiveIsGoesBeforeTheNewArchiveArrives) {
    BuildScene s;
    const std::string fresh = s.dir / "fresh.pak";
    WriteFile(JournalPathOf(fresh), "a journal of an archive deleted since");
    ASSERT_TRUE(Build(s.source, fresh));
    EXPECT_FALSE(fs::exists(JournalPathOf(fresh)));
}
