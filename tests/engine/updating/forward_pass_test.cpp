// Updates that roll forward (a nearly full disk makes them): an error at any write leaves
// the old archive or, once the pass is sealed, an update the next open finishes; a journal
// of such a pass never touches an archive that is no longer the one it describes.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "engine/updating/archive_update.h"
#include "engine/updating/internal/journal_recovery.h"
#include "engine/reading/internal/opened_archive.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "hooks/host_test_hooks.h"
#include "support/errors.h"

namespace fs = std::filesystem;

namespace {

// Free space that leaves the journal room for pieces of a few KB.
constexpr int64_t kNearlyFull = 40 * 1024;

TestFolder Tree() {
    TestFolder root;
    for (int i = 0; i < 6; ++i) root.files.push_back({"f" + std::to_string(i), RandomBytes(9000, 30 + i)});
    return root;
}

struct FlushesSkipped {
    FlushesSkipped() { host::hooks::SkipFlushes(true); }
    ~FlushesSkipped() { host::hooks::SkipFlushes(false); }
};

struct ForwardScene {
    TempDir dir;
    std::string archive = dir / "data.pak";
    std::string source = dir / "new.bin";
    TArrayOfByte before;
    TArrayOfByte after;

    ForwardScene() {
        WriteTestArchive(archive, Tree());
        before = ReadFileBytes(archive);
        WriteFile(source, RandomBytes(12000, 99));
        EXPECT_TRUE(Replace());
        after = ReadFileBytes(archive);
        WriteFile(archive, before);
    }

    // Replaces the first stream, which moves every other one.
    bool Replace() const {
        const host::hooks::StatedSpace nearlyFull(kNearlyFull);
        return ReplaceOneFile({.archivePath = archive, .filePath = source, .key = "f0", .convertLoc = false}).ok;
    }
};

}  // namespace

TEST(ForwardPass, AnErrorAtAnyWriteLeavesTheOldArchiveOrOneTheNextOpenFinishes) {
    ForwardScene s;
    // Errors, not the disk, are the subject: the flushes need not wait for it.
    const FlushesSkipped skipped;
    int oldOutcomes = 0;
    int finishedLater = 0;
    for (int64_t nth = 1;; ++nth) {
        SCOPED_TRACE("write " + std::to_string(nth) + " fails");
        ASSERT_LT(nth, 1000);
        WriteFile(s.archive, s.before);
        host::hooks::FailNth(host::hooks::Operation::Write, nth, EIO, true);
        bool failed = false;
        try {
            s.Replace();
        } catch (const EInOutError&) {
            failed = true;
        }
        host::hooks::ClearFaults();
        if (!failed) {
            EXPECT_EQ(ReadFileBytes(s.archive), s.after);
            break;
        }
        const bool journalLeft = fs::exists(s.archive + kJournalSuffix);
        const TRecovery recovery = RecoverArchive(s.archive);
        EXPECT_FALSE(fs::exists(s.archive + kJournalSuffix));
        const TArrayOfByte bytes = ReadFileBytes(s.archive);
        ASSERT_TRUE(bytes == s.before || bytes == s.after) << "a torn archive";
        oldOutcomes += bytes == s.before ? 1 : 0;
        if (bytes == s.after) {
            EXPECT_TRUE(journalLeft);
            EXPECT_EQ(recovery, TRecovery::RolledForward);
            ++finishedLater;
        }
    }
    EXPECT_GT(oldOutcomes, 0);
    EXPECT_GT(finishedLater, 0);
}

TEST(ForwardPass, AJournalOfASealedPassLeavesAnArchiveRestoredFromABackupAsItIs) {
    ForwardScene s;
    // The journal stays once the update is complete, as a power cut can leave it.
    host::hooks::FailNth(host::hooks::Operation::Remove, 1, EIO, true);
    EXPECT_THROW(s.Replace(), EInOutError);
    host::hooks::ClearFaults();
    ASSERT_TRUE(fs::exists(s.archive + kJournalSuffix));
    // The user copies a backup of another content over it, in place.
    TestFolder other = Tree();
    other.files[3].content = RandomBytes(9000, 77);
    const TArrayOfByte backup = EncodedArchive(other);
    ASSERT_EQ(backup.size(), s.before.size());
    WriteFile(s.archive, backup);

    EXPECT_EQ(RecoverArchive(s.archive), TRecovery::Discarded);
    EXPECT_EQ(ReadFileBytes(s.archive), backup);
    EXPECT_FALSE(fs::exists(s.archive + kJournalSuffix));
}
