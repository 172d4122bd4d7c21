// A journal that was damaged after its update had begun to change the archive: recovery
// cannot undo the update, and the journal is the only record of how the archive tore. It is
// kept aside and the user told, and test finds the damage.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/updating/internal/journal_recovery.h"
#include "engine/reading/internal/opened_archive.h"
#include "engine/updating/replace_batch.h"
#include "helpers/archive_writer.h"
#include "helpers/random_bytes.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"
#include "hooks/host_test_hooks.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 200;

TestFolder Tree(uint64_t seed) {
    TestFolder root;
    for (int i = 0; i < kFiles; ++i)
        root.files.push_back({"f" + std::to_string(1000 + i) + ".bin", RandomBytes(300 + i % 7 * 50, seed + i)});
    return root;
}

// An archive of many files and an update of all of them, killed while its pass had the
// archive half moved: the journal is sealed, and the archive is neither the old one nor the
// new one.
class KilledMidPass : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTestArchive(before_, Tree(1));
        // Longer contents: the whole data area moves.
        for (const TestFile& file : Tree(5000).files) {
            TArrayOfByte longer = file.content;
            longer.resize(longer.size() + 200, 0x5A);
            WriteFile(dir_ / ("new/" + file.name), longer);
        }
        const int64_t operations = OperationsOfTheUpdate();
        ASSERT_GT(operations, 20);
        // From the middle on: the journal is written first, then the pass moves the data.
        for (int64_t n = operations / 2; n < operations && !torn_; ++n) {
            fs::copy_file(before_, archive_, fs::copy_options::overwrite_existing);
            const CliResult r = RunVpakWithEnvironment(VpakBuild::TestHooks, {"replace-dir", "-q", archive_, dir_ / "new"},
                                                       {"VPAK_TEST_KILL_AT=" + std::to_string(n)});
            ASSERT_EQ(r.status, 137) << r.err;
            torn_ = fs::exists(journal_) && ReadFileBytes(archive_) != ReadFileBytes(before_) &&
                    ReadFileBytes(archive_) != ReadFileBytes(after_);
        }
        ASSERT_TRUE(torn_) << "no kill left a torn archive beside its journal";
        const TArrayOfByte journal = ReadFileBytes(journal_);
        ASSERT_EQ(std::string(journal.begin(), journal.begin() + 8), "VPAK-JNL");
    }

    // Runs the update in this process on a copy, which counts what the executable does too.
    int64_t OperationsOfTheUpdate() {
        fs::copy_file(before_, after_);
        int32_t count = 0;
        const int64_t start = host::hooks::OperationCount();
        const TReplaceResult result =
            ReplaceFromDirectory({.archivePath = after_, .sourceDir = dir_ / "new", .convertLoc = false});
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.replacedCount, kFiles);
        return host::hooks::OperationCount() - start;
    }

    TempDir dir_;
    std::string before_ = dir_ / "before.pak";
    std::string after_ = dir_ / "after.pak";
    std::string archive_ = dir_ / "data.pak";
    std::string journal_ = archive_ + kJournalSuffix;
    bool torn_ = false;
};

TEST_F(KilledMidPass, AnUndamagedJournalRollsTheArchiveBack) {
    const CliResult listed = RunVpak({"list", archive_});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.err, "");
    EXPECT_EQ(ReadFileBytes(archive_), ReadFileBytes(before_));
    EXPECT_FALSE(fs::exists(journal_));
}

TEST_F(KilledMidPass, ADamagedJournalIsKeptAsideAndTheArchiveSaidToBeDamaged) {
    const TArrayOfByte sealed = ReadFileBytes(journal_);
    TArrayOfByte flipped = sealed;
    flipped[flipped.size() / 2] ^= 0x10;
    const TArrayOfByte halved(sealed.begin(), sealed.begin() + static_cast<std::ptrdiff_t>(sealed.size() / 2));
    const TArrayOfByte torn = ReadFileBytes(archive_);
    for (const TArrayOfByte& damaged : {flipped, halved}) {
        SCOPED_TRACE(damaged == flipped ? "a byte flipped" : "cut to half");
        WriteFile(archive_, torn);
        WriteFile(journal_, damaged);

        const CliResult listed = RunVpak({"list", archive_});
        EXPECT_EQ(ReadFileBytes(archive_), torn);
        EXPECT_FALSE(fs::exists(journal_));
        const std::string aside = journal_ + kDamagedSuffix;
        EXPECT_EQ(ReadFileBytes(aside), damaged);
        EXPECT_NE(listed.err.find("vpak: kept the damaged journal \"" + journal_ + "\": it is now \"" + aside + "\": "),
                  std::string::npos)
            << listed.err;
        EXPECT_NE(listed.err.find("; the archive \"" + archive_ + "\" may be damaged: check it with \"vpak test\"\n"),
                  std::string::npos)
            << listed.err;

        // Bad files (1), or a directory that does not read (3): either way not sound.
        const CliResult tested = RunVpak({"test", "-q", archive_});
        EXPECT_NE(tested.status, 0) << tested.out << tested.err;
        fs::remove(aside);
    }
}

TEST_F(KilledMidPass, AnUpdateGoesOnOnceTheDamagedJournalIsKeptAside) {
    TArrayOfByte damaged = ReadFileBytes(journal_);
    damaged[damaged.size() / 3] ^= 0x01;
    WriteFile(journal_, damaged);
    WriteFile(dir_ / "one/f1000.bin", "one file");

    const CliResult replaced = RunVpak({"replace-dir", "-q", archive_, dir_ / "one"});
    EXPECT_NE(replaced.err.find("kept the damaged journal"), std::string::npos) << replaced.err;
    EXPECT_TRUE(fs::exists(journal_ + kDamagedSuffix));
    EXPECT_FALSE(fs::exists(journal_));
}

}  // namespace
