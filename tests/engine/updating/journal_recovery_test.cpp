#include "engine/updating/internal/journal_recovery.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/building/internal/staging_file.h"
#include "helpers/hand_journal.h"
#include "helpers/journal_scene.h"
#include "helpers/random_bytes.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"
#include "support/host_entries.h"
#include "support/host_file.h"

namespace fs = std::filesystem;

namespace {

void CutAt(const std::string& path, int64_t size) {
    HostFile file(path, HostFile::Mode::ReadWrite);
    file.Seek(size);
    file.Truncate();
}

// A journal of the given layout, sealed for this file, undoes an update that rewrote the
// header and grew the tail.
void ExpectSealedJournalRestoresTheArchive(uint32_t layout) {
    JournalScene s;
    HandJournal j(s.Identity(), 10000, layout);
    j.Save(0, Slice(s.original, 0, 100));
    j.Save(6000, Slice(s.original, 6000, 10000));
    j.Seal();
    WriteFile(s.journal, j.bytes);
    Overwrite(s.archive, 0, RandomBytes(100, 1));
    Overwrite(s.archive, 6000, RandomBytes(7000, 2));

    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledBack);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
    EXPECT_FALSE(fs::exists(s.journal));
}

using Texts = std::vector<std::string>;

Texts NoticeTexts(const TNotices& notices) {
    Texts texts;
    for (const TNotice& notice : notices) texts.push_back(notice.text);
    return texts;
}

// Samples of a pass from before to after at every 37th position below both sizes, the
// header's bytes first.
std::vector<HandJournal::Sample> SamplesOf(const TArrayOfByte& before, const TArrayOfByte& after) {
    std::vector<HandJournal::Sample> samples;
    const size_t limit = std::min(before.size(), after.size());
    for (size_t p = 0; p < limit; p += p < 8 ? 1 : 37) samples.push_back({static_cast<int64_t>(p), before[p], after[p]});
    return samples;
}

// One pass over the scene's archive: it rewrites the first 100 bytes and everything from
// 6000 on, growing the archive to 12000 bytes. The journal saves what the pass changes and
// records its state, and is sealed.
struct PassScene : JournalScene {
    TArrayOfByte after = original;
    HandJournal j{Identity(), 10000, 3};

    PassScene() {
        after.resize(12000);
        const TArrayOfByte front = RandomBytes(100, 21);
        const TArrayOfByte tail = RandomBytes(6000, 22);
        std::copy(front.begin(), front.end(), after.begin());
        std::copy(tail.begin(), tail.end(), after.begin() + 6000);
        j.Save(0, Slice(original, 0, 100));
        j.Save(6000, Slice(original, 6000, 10000));
        j.State(10000, 12000, SamplesOf(original, after));
        j.Seal();
    }

    // The archive as the pass left it when interrupted: the front written, the tail not yet.
    TArrayOfByte HalfWay() const {
        TArrayOfByte bytes = original;
        std::copy(after.begin(), after.begin() + 100, bytes.begin());
        return bytes;
    }

    std::string StaleNotice() const {
        return "did not apply the journal \"" + journal + "\": the archive is not in a state it describes";
    }
};

}  // namespace

TEST(RecoverArchive, NoJournalLeavesTheArchiveAlone) {
    JournalScene s;
    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::NoJournal);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

TEST(RecoverArchive, SealedJournalOfThisFileRestoresSavedBytesAndOldSize) {
    ExpectSealedJournalRestoresTheArchive(2);
}

TEST(RecoverArchive, JournalSealedWithSha1ByAnEarlierVersionIsStillRolledBack) {
    ExpectSealedJournalRestoresTheArchive(1);
}

TEST(RecoverArchive, JournalOfAnUnknownLayoutIsKeptAsideUnapplied) {
    JournalScene s;
    const TArrayOfByte current = RandomBytes(10000, 9);
    WriteFile(s.archive, current);
    // Whole but for its version: a journal of a known layout with these records rolls back.
    HandJournal j(s.Identity(), 10000, 1000);
    j.Save(0, Slice(s.original, 0, 5000));
    j.UnknownState();
    j.Seal();
    WriteFile(s.journal, j.bytes);

    TNotices notices;
    EXPECT_EQ(RecoverArchive(s.archive, &notices), TRecovery::KeptAside);
    EXPECT_EQ(ReadFileBytes(s.archive), current);
    EXPECT_EQ(ReadFileBytes(s.KeptAside()), j.bytes);
    EXPECT_EQ(NoticeTexts(notices), Texts{s.KeptNotice("it was written by a newer version of vpak (layout 1000)")});
}

TEST(RecoverArchive, ArchiveAnInterruptedPassLeftIsRolledBack) {
    PassScene s;
    WriteFile(s.journal, s.j.bytes);
    WriteFile(s.archive, s.HalfWay());
    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledBack);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
    EXPECT_FALSE(fs::exists(s.journal));
}

TEST(RecoverArchive, ArchiveWhoseSizeNoMomentOfThePassHasIsLeftAndItsJournalRemoved) {
    PassScene s;
    WriteFile(s.journal, s.j.bytes);
    const TArrayOfByte shorter = Slice(s.HalfWay(), 0, 9000);
    WriteFile(s.archive, shorter);
    TNotices notices;
    EXPECT_EQ(RecoverArchive(s.archive, &notices), TRecovery::Discarded);
    EXPECT_EQ(ReadFileBytes(s.archive), shorter);
    EXPECT_FALSE(fs::exists(s.journal));
    EXPECT_EQ(NoticeTexts(notices), Texts{s.StaleNotice()});
}

TEST(RecoverArchive, ArchiveWithASampledByteNeitherOldNorNewIsLeftAndItsJournalRemoved) {
    PassScene s;
    WriteFile(s.journal, s.j.bytes);
    TArrayOfByte other = s.HalfWay();
    const size_t sampled = 8 + 37 * 100;
    other[sampled] = static_cast<uint8_t>(s.original[sampled] ^ s.after[sampled] ^ 0xFF);
    ASSERT_NE(other[sampled], s.original[sampled]);
    ASSERT_NE(other[sampled], s.after[sampled]);
    WriteFile(s.archive, other);
    TNotices notices;
    EXPECT_EQ(RecoverArchive(s.archive, &notices), TRecovery::Discarded);
    EXPECT_EQ(ReadFileBytes(s.archive), other);
    EXPECT_FALSE(fs::exists(s.journal));
    EXPECT_EQ(NoticeTexts(notices), Texts{s.StaleNotice()});
}

TEST(RecoverArchive, StateOfUnknownContentLetsAnyArchivePass) {
    JournalScene s;
    HandJournal j(s.Identity(), 10000, 3);
    j.Save(0, s.original);
    j.UnknownState();
    j.Seal();
    WriteFile(s.journal, j.bytes);
    WriteFile(s.archive, RandomBytes(7000, 23));
    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledBack);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

TEST(RecoverArchive, OnlyTheLastSealedStateDecides) {
    PassScene s;
    // A later pass between two other archives, sealed: the archive is neither of them.
    s.j.State(12000, 12000, SamplesOf(RandomBytes(12000, 28), RandomBytes(12000, 29)));
    s.j.Seal();
    WriteFile(s.journal, s.j.bytes);
    WriteFile(s.archive, s.HalfWay());
    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::Discarded);
    EXPECT_EQ(ReadFileBytes(s.archive), s.HalfWay());
}

TEST(RecoverArchive, StateWithoutItsSealDecidesNothing) {
    PassScene s;
    s.j.State(10000, 10000, SamplesOf(RandomBytes(10000, 24), RandomBytes(10000, 25)));
    WriteFile(s.journal, s.j.bytes);
    WriteFile(s.archive, s.HalfWay());
    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledBack);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

TEST(RecoverArchive, JournalWithStatesButNoneSealedWasNeverActedOn) {
    JournalScene s;
    const TArrayOfByte current = RandomBytes(10000, 9);
    WriteFile(s.archive, current);
    HandJournal j(s.Identity(), 10000, 3);
    j.Save(0, Slice(s.original, 0, 5000));
    j.Seal();
    WriteFile(s.journal, j.NeverActedOn());

    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::Discarded);
    EXPECT_EQ(ReadFileBytes(s.archive), current);
    EXPECT_FALSE(fs::exists(s.journal));
}

TEST(RecoverArchive, JournalMarkedActedOnWhoseStateIsNotSealedIsKeptAside) {
    // The mark follows the seal of the group with the state: that group is what is missing.
    JournalScene s;
    const TArrayOfByte current = RandomBytes(10000, 9);
    WriteFile(s.archive, current);
    HandJournal j(s.Identity(), 10000, 3);
    j.Save(0, Slice(s.original, 0, 5000));
    j.Seal();
    WriteFile(s.journal, j.bytes);

    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::KeptAside);
    EXPECT_EQ(ReadFileBytes(s.archive), current);
    EXPECT_FALSE(fs::exists(s.journal));
    EXPECT_EQ(ReadFileBytes(s.KeptAside()), j.bytes);
}

TEST(RecoverArchive, RollBackCutShortIsFinishedByTheNextOpen) {
    // Two passes: the first rewrote [0, 3000), the second [2000, 5000). A roll-back then put
    // the original front back and was cut short before the rest.
    JournalScene s;
    TArrayOfByte first = s.original;
    const TArrayOfByte a = RandomBytes(3000, 26);
    std::copy(a.begin(), a.end(), first.begin());
    TArrayOfByte second = first;
    const TArrayOfByte b = RandomBytes(3000, 27);
    std::copy(b.begin(), b.end(), second.begin() + 2000);
    HandJournal j(s.Identity(), 10000, 3);
    j.Save(0, Slice(s.original, 0, 3000));
    j.State(10000, 10000, SamplesOf(s.original, first));
    j.Seal();
    j.Save(3000, Slice(s.original, 3000, 5000));
    j.State(10000, 10000, SamplesOf(first, second));
    j.Seal();
    WriteFile(s.journal, j.bytes);
    TArrayOfByte cutShort = second;
    std::copy(s.original.begin(), s.original.begin() + 2500, cutShort.begin());
    WriteFile(s.archive, cutShort);

    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledBack);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

TEST(RecoverArchive, ShrunkArchiveIsGrownBackToItsOldSize) {
    JournalScene s;
    HandJournal j(s.Identity(), 10000);
    j.Save(4000, Slice(s.original, 4000, 10000));
    j.Seal();
    WriteFile(s.journal, j.bytes);
    CutAt(s.archive, 4500);

    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledBack);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

TEST(RecoverArchive, SealWithoutRecordsStillCutsWhatTheUpdateAppended) {
    JournalScene s;
    HandJournal j(s.Identity(), 10000);
    j.Seal();
    WriteFile(s.journal, j.bytes);
    Overwrite(s.archive, 10000, RandomBytes(500, 3));

    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledBack);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

// The ways a journal fails to read whole: a missing seal, a cut, a flipped byte in a saved
// range, a damaged magic.
struct DamagedJournals {
    const char* name;
    TArrayOfByte bytes;
    std::string damage;
};

std::vector<DamagedJournals> DamagedCopiesOf(const HandJournal& j) {
    const size_t size = j.bytes.size();
    TArrayOfByte noSeal = j.bytes;
    noSeal.resize(size - j.SealLength());
    TArrayOfByte cutShort = j.bytes;
    cutShort.resize(size / 2);
    TArrayOfByte flipped = j.bytes;
    flipped[3000] ^= 0x01;
    TArrayOfByte badMagic = j.bytes;
    badMagic[0] = 'X';
    const std::string endsAt = "it ends at byte ";
    const std::string before = ", before the seal of its records from byte 40 on";
    return {{"no seal", noSeal, endsAt + std::to_string(size - j.SealLength()) + before},
            {"cut to half", cutShort, endsAt + std::to_string(size / 2) + before},
            {"a byte flipped", flipped, "its records from byte 40 on are damaged (they do not match their seal)"},
            {"its magic damaged", badMagic, "it does not begin as a journal does"}};
}

TEST(RecoverArchive, JournalNeverActedOnIsRemovedWhateverItHoldsAndTheArchiveLeftAsItIs) {
    JournalScene s;
    const TArrayOfByte current = RandomBytes(10000, 9);
    WriteFile(s.archive, current);
    HandJournal j(s.Identity(), 10000);
    j.Save(0, Slice(s.original, 0, 5000));
    j.Seal();
    HandJournal fresh = j;
    fresh.bytes = j.NeverActedOn();
    std::vector<TArrayOfByte> journals{TArrayOfByte{}, TArrayOfByte(4096, 0), fresh.bytes};
    for (const DamagedJournals& damaged : DamagedCopiesOf(fresh))
        if (damaged.bytes[0] == 'V') journals.push_back(damaged.bytes);
    for (const TArrayOfByte& journal : journals) {
        SCOPED_TRACE(journal.size());
        WriteFile(s.journal, journal);
        TNotices notices;
        EXPECT_EQ(RecoverArchive(s.archive, &notices), TRecovery::Discarded);
        EXPECT_EQ(ReadFileBytes(s.archive), current);
        EXPECT_FALSE(fs::exists(s.journal));
        EXPECT_TRUE(notices.empty());
        EXPECT_FALSE(fs::exists(s.KeptAside()));
    }
}

TEST(RecoverArchive, JournalActedOnThatDoesNotReadWholeIsKeptAsideAndTheArchiveLeftAsItIs) {
    constexpr size_t kWays = 4;
    for (size_t way = 0; way < kWays; ++way) {
        JournalScene s;
        HandJournal j(s.Identity(), 10000);
        j.Save(0, Slice(s.original, 0, 5000));
        j.Seal();
        const DamagedJournals damaged = DamagedCopiesOf(j).at(way);
        SCOPED_TRACE(damaged.name);
        // Torn by the update: recovery cannot tell how without the journal.
        const TArrayOfByte torn = RandomBytes(10000, 9);
        WriteFile(s.archive, torn);
        WriteFile(s.journal, damaged.bytes);

        TNotices notices;
        EXPECT_EQ(RecoverArchive(s.archive, &notices), TRecovery::KeptAside);
        EXPECT_EQ(ReadFileBytes(s.archive), torn);
        EXPECT_FALSE(fs::exists(s.journal));
        EXPECT_EQ(ReadFileBytes(s.KeptAside()), damaged.bytes);
        EXPECT_EQ(NoticeTexts(notices), Texts{s.KeptNotice(damaged.damage)});
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_EQ(notices[0].advice, TAdvice::TestArchive);
    }
}

TEST(RecoverArchive, DamagedJournalsAreKeptUnderNamesOfTheirOwn) {
    JournalScene s;
    HandJournal j(s.Identity(), 10000);
    j.Save(0, Slice(s.original, 0, 5000));
    const TArrayOfByte unsealed = j.bytes;
    for (const std::string number : {"", "2", "3"}) {
        WriteFile(s.journal, unsealed);
        TNotices notices;
        EXPECT_EQ(RecoverArchive(s.archive, &notices), TRecovery::KeptAside);
        EXPECT_EQ(ReadFileBytes(s.KeptAside(number)), unsealed);
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_NE(notices[0].text.find("it is now \"" + s.KeptAside(number) + "\""), std::string::npos)
            << notices[0].text;
    }
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

TEST(RecoverArchive, JournalThatFitsNoStateAndIsDamagedBehindItsLastSealIsKeptAside) {
    // A second pass was sealed and began, then its group was damaged: the first pass's state
    // no longer describes the archive, and only the damaged group could tell how it tore.
    PassScene s;
    s.j.Save(100, Slice(s.original, 100, 3000));
    s.j.State(12000, 12000, SamplesOf(s.after, RandomBytes(12000, 31)));
    s.j.Seal();
    TArrayOfByte damaged = s.j.bytes;
    damaged[damaged.size() - 100] ^= 0x40;
    WriteFile(s.journal, damaged);
    const TArrayOfByte torn = RandomBytes(12000, 32);
    WriteFile(s.archive, torn);

    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::KeptAside);
    EXPECT_EQ(ReadFileBytes(s.archive), torn);
    EXPECT_EQ(ReadFileBytes(s.KeptAside()), damaged);
}

TEST(RecoverArchive, JournalOfAnotherFileIsDiscarded) {
    JournalScene s;
    const TArrayOfByte current = RandomBytes(10000, 9);
    WriteFile(s.archive, current);
    host::FileIdentity other = s.Identity();
    other.inode += 1;
    HandJournal j(other, 10000);
    j.Save(0, Slice(s.original, 0, 5000));
    j.Seal();
    WriteFile(s.journal, j.bytes);

    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::Discarded);
    EXPECT_EQ(ReadFileBytes(s.archive), current);
    EXPECT_FALSE(fs::exists(s.journal));
}

TEST(RecoverArchive, OnlyRecordsUpToTheLastValidSealAreApplied) {
    JournalScene s;
    HandJournal j(s.Identity(), 10000);
    j.Save(8000, Slice(s.original, 8000, 10000));
    j.Seal();
    // A second group whose seal never arrived: the update had not touched its range yet.
    j.Save(0, RandomBytes(100, 4));
    WriteFile(s.journal, j.bytes);
    Overwrite(s.archive, 8000, RandomBytes(2000, 5));

    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledBack);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

TEST(RecoverArchive, RecordsPastTheOldSizeMakeTheJournalInvalid) {
    JournalScene s;
    const TArrayOfByte current = RandomBytes(10000, 9);
    WriteFile(s.archive, current);
    HandJournal j(s.Identity(), 1000);
    j.Save(900, Slice(s.original, 900, 1100));
    j.Seal();
    WriteFile(s.journal, j.bytes);

    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::KeptAside);
    EXPECT_EQ(ReadFileBytes(s.archive), current);
}

TEST(RecoverArchive, JournalNameThatIsALinkIsLeftWithoutFollowingIt) {
    JournalScene s;
    const std::string elsewhere = s.dir / "elsewhere";
    HandJournal j(s.Identity(), 10);
    j.Seal();
    WriteFile(elsewhere, j.bytes);
    fs::create_symlink(elsewhere, s.journal);

    TNotices notices;
    EXPECT_EQ(RecoverArchive(s.archive, &notices), TRecovery::Ignored);
    EXPECT_TRUE(fs::is_symlink(s.journal));
    EXPECT_EQ(ReadFileBytes(elsewhere), j.bytes);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
    EXPECT_EQ(NoticeTexts(notices), Texts{"left the journal \"" + s.journal + "\": it is not a regular file"});
}

TEST(RecoverArchive, JournalOfAnotherUserIsLeftUnapplied) {
    JournalScene s;
    const TArrayOfByte current = WriteTornArchive(s);
    ASSERT_EQ(chown(s.journal.c_str(), kStranger, kStranger), 0);

    TNotices notices;
    EXPECT_EQ(RecoverArchive(s.archive, &notices), TRecovery::Ignored);
    EXPECT_EQ(ReadFileBytes(s.archive), current);
    EXPECT_TRUE(fs::exists(s.journal));
    EXPECT_EQ(NoticeTexts(notices),
              Texts{"left the journal \"" + s.journal + "\": it belongs to another user, " + UserWords(kStranger)});
}

TEST(RecoverArchive, JournalOfTheArchivesOwnerIsAppliedForAnotherUser) {
    JournalScene s;
    WriteTornArchive(s);
    ASSERT_EQ(chown(s.archive.c_str(), kStranger, kStranger), 0);
    ASSERT_EQ(chown(s.journal.c_str(), kStranger, kStranger), 0);

    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledBack);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
}

TEST(RecoverArchive, JournalOfTheSuperuserIsAppliedForTheArchivesOwner) {
    if (!CanRunAsOtherUser()) GTEST_SKIP() << "recovering as another user needs root";
    JournalScene s;
    WriteTornArchive(s);
    fs::permissions(s.dir.Path(), fs::perms::all);
    ASSERT_EQ(chown(s.archive.c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(chmod(s.journal.c_str(), 0644), 0);  // root's, readable as an update makes it for this archive

    EXPECT_EQ(RunAsOtherUser([&] { return RecoverArchive(s.archive) == TRecovery::RolledBack ? 0 : 1; }), 0);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
    EXPECT_FALSE(fs::exists(s.journal));
}

TEST(RecoverArchive, JournalOthersMayWriteIsLeftUnapplied) {
    for (const mode_t mode : {mode_t{0664}, mode_t{0646}}) {
        JournalScene s;
        const TArrayOfByte current = WriteTornArchive(s);
        ASSERT_EQ(chmod(s.journal.c_str(), mode), 0);

        TNotices notices;
        EXPECT_EQ(RecoverArchive(s.archive, &notices), TRecovery::Ignored);
        EXPECT_EQ(ReadFileBytes(s.archive), current);
        EXPECT_TRUE(fs::exists(s.journal));
        EXPECT_EQ(NoticeTexts(notices), Texts{"left the journal \"" + s.journal + "\": other users may write it"});
    }
}

TEST(RecoverArchive, OldSizeNoArchiveCanHaveMakesTheJournalInvalid) {
    JournalScene s;
    HandJournal j(s.Identity(), int64_t{1} << 62);
    j.Save(int64_t{1} << 30, RandomBytes(100, 8));
    j.Seal();
    WriteFile(s.journal, j.bytes);

    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::KeptAside);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
    EXPECT_FALSE(fs::exists(s.journal));
}

TEST(RecoverArchive, JournalWithoutItsArchiveIsRemoved) {
    TempDir dir;
    const std::string archive = dir / "gone.pak";
    WriteFile(archive + kJournalSuffix, "whatever");
    EXPECT_EQ(RecoverArchive(archive), TRecovery::Discarded);
    EXPECT_FALSE(fs::exists(archive + kJournalSuffix));
}

TEST(RecoverArchive, JournalLiesBesideTheFileALinkNames) {
    JournalScene s;
    const std::string link = s.dir / "link.pak";
    fs::create_symlink(s.archive, link);
    EXPECT_EQ(JournalPathOf(link), fs::canonical(s.archive).string() + kJournalSuffix);
}

TEST(RecoverArchive, JournalOfAnUpdateRunningInAnotherProcessIsNeverRolledBack) {
    JournalScene s;
    HandJournal j(s.Identity(), 10000);
    j.Save(0, Slice(s.original, 0, 10000));
    j.Seal();
    WriteFile(s.journal, j.bytes);
    const TArrayOfByte updated = RandomBytes(10000, 11);

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The "update": holds the lock, finishes its writes, removes its journal, ends.
        const int fd = open(s.archive.c_str(), O_RDONLY);
        flock(fd, LOCK_EX);
        (void)!write(ready[1], "x", 1);
        usleep(100000);
        Overwrite(s.archive, 0, updated);
        unlink(s.journal.c_str());
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::NoJournal);
    EXPECT_EQ(ReadFileBytes(s.archive), updated);
    int status = 0;
    waitpid(pid, &status, 0);
    close(ready[0]);
    close(ready[1]);
}

// A pass rolling forward, sealed just before it began: it rewrites the header, puts two
// new streams in, and moves the back half of the data area 100 bytes on.
struct ForwardPlanScene : JournalScene {
    TArrayOfByte head = RandomBytes(10, 41);
    std::vector<HandJournal::PlanStream> streams{{100, RandomBytes(50, 42)}, {3000, RandomBytes(80, 43)}};
    std::vector<HandJournal::PlanMove> moves{{5000, 5100, 5000}};
    TArrayOfByte after = original;

    ForwardPlanScene() {
        after.resize(10100);
        std::copy(original.begin() + 5000, original.end(), after.begin() + 5100);
        std::copy(head.begin(), head.end(), after.begin());
        for (const HandJournal::PlanStream& stream : streams)
            std::copy(stream.bytes.begin(), stream.bytes.end(), after.begin() + stream.position);
    }

    // The journal in the given layout, the streams parked where parkedAt says: at a DATA
    // record in front of the plan for kParked, in the record for 0, elsewhere otherwise.
    static constexpr int64_t kParked = -1;
    TArrayOfByte Journal(uint32_t layout, const std::vector<int64_t>& parkedAt) const {
        HandJournal j(Identity(), 10000, layout);
        std::vector<HandJournal::PlanStream> planned = streams;
        for (size_t i = 0; i < planned.size(); ++i)
            planned[i].parkedAt = parkedAt[i] == kParked ? j.Data(streams[i].bytes) : parkedAt[i];
        j.Plan(10100, 1024, moves, planned, head);
        j.State(10000, 10100, SamplesOf(original, after));
        j.Seal();
        return j.bytes;
    }
};

TEST(RecoverArchive, SealedPlanIsFinishedWithItsStreamsInTheRecordOrParkedInFrontOfIt) {
    constexpr int64_t kParked = ForwardPlanScene::kParked;
    const struct {
        const char* name;
        uint32_t layout;
        std::vector<int64_t> parkedAt;
    } cases[] = {
        {"layout 4, streams in the record", 4, {0, 0}},
        {"streams in the record", 5, {0, 0}},
        {"streams parked", 5, {kParked, kParked}},
        {"one stream parked", 5, {kParked, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ForwardPlanScene s;
        WriteFile(s.journal, s.Journal(c.layout, c.parkedAt));
        EXPECT_EQ(RecoverArchive(s.archive), TRecovery::RolledForward);
        EXPECT_EQ(ReadFileBytes(s.archive), s.after);
        EXPECT_FALSE(fs::exists(s.journal));
    }
}

// The plan's own bytes, the header, or bytes behind the plan would be written as a stream.
TEST(RecoverArchive, PlanNamingAParkedStreamOutsideTheJournalInFrontOfItIsKeptAside) {
    const struct {
        const char* name;
        int64_t parkedAt;
    } cases[] = {
        {"at the plan's own tag", 40},
        {"past the journal's end", int64_t{1} << 40},
        {"wrapping around", -8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ForwardPlanScene s;
        // With nothing in front of the plan, its tag lies right behind the 40-byte header.
        WriteFile(s.journal, s.Journal(5, {c.parkedAt, 0}));
        EXPECT_EQ(RecoverArchive(s.archive), TRecovery::KeptAside);
        EXPECT_EQ(ReadFileBytes(s.archive), s.original);
    }
}
