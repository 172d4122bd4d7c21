#include "engine/updating/internal/update_journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/reading/internal/archive_reading.h"
#include "engine/updating/internal/journal_recovery.h"
#include "engine/updating/internal/journal_state.h"
#include "helpers/hand_journal.h"
#include "helpers/journal_scene.h"
#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "support/errors.h"
#include "support/host_file.h"

namespace fs = std::filesystem;

namespace {

// Bytes a pass puts at a place of the archive.
struct Piece {
    int64_t at = 0;
    TArrayOfByte bytes;
};

// What a pass writing the pieces into an archive of oldSize bytes leaves, for the journal's
// state; the pieces do not overlap.
TPassOutcome OutcomeOf(int64_t oldSize, std::vector<Piece> pieces) {
    int64_t newSize = oldSize;
    for (const Piece& piece : pieces) newSize = std::max<int64_t>(newSize, piece.at + static_cast<int64_t>(piece.bytes.size()));
    return {newSize, [pieces](int64_t position) {
                for (const Piece& piece : pieces) {
                    const int64_t within = position - piece.at;
                    if (within >= 0 && within < static_cast<int64_t>(piece.bytes.size()))
                        return TByteSource{false, 0, piece.bytes[static_cast<size_t>(within)]};
                }
                return TByteSource{true, position, 0};
            }};
}

void WritePieces(const std::string& path, const std::vector<Piece>& pieces) {
    for (const Piece& piece : pieces) Overwrite(path, piece.at, piece.bytes);
}

// Runs body in a child process that ends without unwinding, as a killed update does.
template <typename Body>
void RunAndVanish(Body body) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        try {
            body();
        } catch (...) {
            _exit(2);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace

TEST(ArchiveUpdate, CommittedUpdateKeepsItsChangesAndLeavesNoJournal) {
    JournalScene s;
    const TArrayOfByte changed = RandomBytes(3000, 12);
    {
        TArchiveUpdate update(s.archive);
        update.Protect({{0, 100}, {5000, 10000}});
        EXPECT_TRUE(fs::exists(s.journal));
        Overwrite(s.archive, 5000, changed);
        update.Commit();
    }
    EXPECT_FALSE(fs::exists(s.journal));
    TArrayOfByte expected = s.original;
    std::copy(changed.begin(), changed.end(), expected.begin() + 5000);
    EXPECT_EQ(ReadFileBytes(s.archive), expected);
}

TEST(ArchiveUpdate, UpdateThatChangesNothingWritesNoJournal) {
    JournalScene s;
    {
        TArchiveUpdate update(s.archive);
        update.Protect({});
        update.Commit();
        EXPECT_FALSE(fs::exists(s.journal));
    }
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

TEST(ArchiveUpdate, KilledUpdateIsRolledBackByTheNextOpen) {
    JournalScene s;
    RunAndVanish([&] {
        TArchiveUpdate update(s.archive);
        const std::vector<Piece> pass{{0, RandomBytes(50, 1)}, {2000, RandomBytes(12000, 2)}};
        update.Protect({{0, 50}, {2000, 10000}}, OutcomeOf(10000, pass));
        WritePieces(s.archive, pass);
        std::exit(0);  // no Commit, no unwinding
    });
    ASSERT_TRUE(fs::exists(s.journal));
    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledBack);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
    EXPECT_FALSE(fs::exists(s.journal));
}

TEST(ArchiveUpdate, JournalSizeFollowsTheProtectedTailNotTheArchive) {
    JournalScene s;
    RunAndVanish([&] {
        TArchiveUpdate update(s.archive);
        update.Protect({{0, 64}, {9000, 10000}});
        std::exit(0);
    });
    const auto size = static_cast<int64_t>(fs::file_size(s.journal));
    EXPECT_GE(size, 64 + 1000);
    EXPECT_LT(size, 64 + 1000 + 200);
}

TEST(ArchiveUpdate, RangesProtectedTwiceAreSavedOnce) {
    JournalScene s;
    RunAndVanish([&] {
        TArchiveUpdate update(s.archive);
        update.Protect({{1000, 3000}, {2000, 4000}});
        update.Protect({{1500, 2500}});
        std::exit(0);
    });
    EXPECT_LT(static_cast<int64_t>(fs::file_size(s.journal)), 3000 + 200);
}

TEST(ArchiveUpdate, JournalIsMarkedActedOnOnlyOnceAGroupBeforeAChangeIsSealed) {
    JournalScene s;
    const auto magic = [&] {
        const TArrayOfByte bytes = ReadFileBytes(s.journal);
        return std::string(bytes.begin(), bytes.begin() + 8);
    };
    // The child ends with 0 only when both marks were as they must be.
    RunAndVanish([&] {
        TArchiveUpdate update(s.archive);
        update.Protect({{1000, 3000}});
        const std::string ahead = magic();
        update.Protect({{1000, 3000}}, TPassOutcome{10000, [](int64_t p) { return TByteSource{true, p, 0}; }});
        const std::string beforeChange = magic();
        std::exit(ahead == "VPAK-NEW" && beforeChange == "VPAK-JNL" ? 0 : 3);
    });
    // Either way the seals hold: the journal rolls back.
    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledBack);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

TEST(ArchiveUpdate, WatchedWritesOutsideTheProtectedRangesAreSavedFirst) {
    JournalScene s;
    RunAndVanish([&] {
        TArchiveUpdate update(s.archive);
        HostFile archive(s.archive, HostFile::Mode::ReadWrite);
        update.Watch(archive);
        archive.Seek(300);
        const TArrayOfByte junk = RandomBytes(700, 3);
        archive.Write(junk.data(), 700);
        archive.Seek(9990);
        archive.Write(junk.data(), 700);
        archive.Seek(1234);
        archive.Truncate();
        std::exit(0);
    });
    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledBack);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

TEST(ArchiveUpdate, WatchedChangeAfterAPassIsCoveredAlthoughNoPassDescribesIt) {
    JournalScene s;
    RunAndVanish([&] {
        TArchiveUpdate update(s.archive);
        HostFile archive(s.archive, HostFile::Mode::ReadWrite);
        update.Watch(archive);
        const std::vector<Piece> pass{{0, RandomBytes(100, 1)}};
        update.Protect({{0, 100}}, OutcomeOf(10000, pass));
        WritePieces(s.archive, pass);
        update.PassDone();
        // Neither old nor new for the pass before: only a state of unknown content fits.
        const TArrayOfByte other = RandomBytes(3000, 2);
        archive.Seek(0);
        archive.Write(other.data(), 3000);
        std::exit(0);
    });
    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledBack);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

TEST(ArchiveUpdate, ErrorDuringTheUpdateRollsBackAtOnce) {
    JournalScene s;
    const std::vector<Piece> pass{{0, RandomBytes(12000, 4)}};
    const auto failingUpdate = [&] {
        TArchiveUpdate update(s.archive);
        update.Protect({{0, 10000}}, OutcomeOf(10000, pass));
        WritePieces(s.archive, pass);
        throw EInOutError(ENOSPC, "disk full");
    };
    EXPECT_THROW(failingUpdate(), EInOutError);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
    EXPECT_FALSE(fs::exists(s.journal));
}

TEST(ArchiveUpdate, NestedUpdateOfTheSameArchiveJoinsTheOuterOne) {
    JournalScene s;
    {
        TArchiveUpdate outer(s.archive);
        {
            TArchiveUpdate inner(s.archive);
            const std::vector<Piece> pass{{0, RandomBytes(10000, 5)}};
            inner.Protect({{0, 10000}}, OutcomeOf(10000, pass));
            WritePieces(s.archive, pass);
            inner.Commit();
        }
        // The inner commit leaves the journal to the outer update.
        EXPECT_TRUE(fs::exists(s.journal));
        // A read inside the update does not take the live journal for a left-over.
        EXPECT_EQ(RecoverArchive(s.archive), TRecovery::NoJournal);
        const TArchiveReading reading(s.archive);
        EXPECT_TRUE(fs::exists(s.journal));
        EXPECT_NE(ReadFileBytes(s.archive), s.original);
    }
    // The outer one ended without committing: everything is undone.
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
    EXPECT_FALSE(fs::exists(s.journal));
}

TEST(ArchiveUpdate, ALeftOverJournalIsRolledBackBeforeANewUpdateStarts) {
    JournalScene s;
    WriteLeftOverJournal(s);
    {
        TArchiveUpdate update(s.archive);
        EXPECT_EQ(ReadFileBytes(s.archive), s.original);
        EXPECT_FALSE(fs::exists(s.journal));
        update.Commit();
    }
}

TEST(ArchiveUpdate, JournalIsCreatedExclusivelyAndNeverThroughALink) {
    JournalScene s;
    // A name that appears after the roll-back check, such as a planted link, stops the update
    // before the archive changes.
    const std::string victim = s.dir / "victim";
    WriteFile(victim, "keep");
    TArchiveUpdate update(s.archive);
    fs::create_symlink(victim, s.journal);
    EXPECT_THROW(update.Protect({{0, 10}}), EInOutError);
    EXPECT_EQ(ReadFileText(victim), "keep");
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

TEST(ArchiveUpdate, JournalGetsTheArchivesPermissionBits) {
    JournalScene s;
    fs::permissions(s.archive, fs::perms::owner_read | fs::perms::owner_write);
    RunAndVanish([&] {
        TArchiveUpdate update(s.archive);
        update.Protect({{0, 10}});
        std::exit(0);
    });
    EXPECT_EQ(fs::status(s.journal).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST(ArchiveUpdate, NewJournalIsNeverWritableByOthers) {
    JournalScene s;
    ASSERT_EQ(chmod(s.archive.c_str(), 0666), 0);
    const mode_t mask = umask(0);
    RunAndVanish([&] {
        TArchiveUpdate update(s.archive);
        update.Protect({{0, 10}});
        std::exit(0);
    });
    umask(mask);
    EXPECT_EQ(fs::status(s.journal).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

TEST(ArchiveUpdate, JournalThatStaysBesideTheArchiveStopsTheUpdateBeforeItChangesAnything) {
    JournalScene s;
    const TArrayOfByte current = WriteTornArchive(s);
    ASSERT_EQ(chown(s.journal.c_str(), kStranger, kStranger), 0);
    const TArrayOfByte planted = ReadFileBytes(s.journal);

    TNotices notices;
    EXPECT_THROW(TArchiveUpdate update(s.archive, &notices), EInOutError);
    EXPECT_EQ(ReadFileBytes(s.journal), planted);
    EXPECT_EQ(ReadFileBytes(s.archive), current);
    EXPECT_EQ(notices.size(), 1u);
}
