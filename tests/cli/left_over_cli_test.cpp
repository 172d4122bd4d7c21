// What a reader does with the files a killed update or build left beside an archive when it
// may not remove them: vpak runs as another user (the tests run as root, whom no permission
// stops) in a folder it may not write, or in a shared sticky folder beside another user's files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "engine/updating/archive_update.h"
#include "engine/reading/internal/opened_archive.h"
#include "engine/building/internal/staged_archive.h"
#include "engine/building/internal/staging_file.h"
#include "helpers/archive_writer.h"
#include "helpers/hand_journal.h"
#include "helpers/random_bytes.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"
#include "hooks/host_test_hooks.h"
#include "support/errors.h"
#include "support/host_entries.h"

namespace fs = std::filesystem;

namespace {

TestFolder SmallTree() {
    TestFolder root;
    root.folders.push_back({"data", {}, {{"a.bin", RandomBytes(3000, 1)}, {"b.txt", Bytes("bravo")}}});
    root.files.push_back({"readme.txt", Bytes("read me")});
    return root;
}

bool SearchableByOthers(const fs::path& dir) {
    for (fs::path p = dir; p != p.root_path(); p = p.parent_path())
        if ((fs::status(p).permissions() & fs::perms::others_exec) == fs::perms::none) return false;
    return true;
}

void Own(const std::string& path, unsigned user, mode_t mode) {
    ASSERT_EQ(chown(path.c_str(), user, user), 0) << path;
    ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

std::string Notice(const std::string& text) { return "vpak: " + text + "\n"; }

// A user who is neither the one running vpak nor the superuser, whom recovery also trusts.
constexpr unsigned kThirdUser = 4242;

// An archive in a folder of its own below a temp folder every user may enter.
class ReaderAsOtherUser : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CanRunAsOtherUser()) GTEST_SKIP() << "running vpak as another user needs root";
        ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
        ASSERT_TRUE(SearchableByOthers(dir.Path())) << dir.Path() << " or a folder above it is closed to others";
        fs::create_directory(folder);
        WriteTestArchive(archive, SmallTree());
        const CliResult listed = RunVpak({"list", archive});
        ASSERT_EQ(listed.status, 0);
        listing = listed.out;
        original = ReadFileBytes(archive);
    }

    // The folder as the archive's owner (root) keeps it, closed to other users' writes.
    void MakeFolderReadOnly() { Own(folder, 0, 0755); }
    // A folder everyone may write in, where only a file's owner may remove it.
    void MakeFolderSticky() { Own(folder, 0, 01777); }

    TempDir dir;
    std::string folder = fs::canonical(dir.Path()).string() + "/shared";
    std::string archive = folder + "/data.pak";
    // A file a killed build left, under a name a build makes.
    std::string staging = archive + kStagingSuffix + "0123456789ab";
    std::string journal = archive + kJournalSuffix;
    std::string listing;
    TArrayOfByte original;
};

}  // namespace

TEST_F(ReaderAsOtherUser, ListReadsPastABuildsLeftOverInAFolderItMayNotWrite) {
    MakeFolderReadOnly();
    WriteFile(staging, "what a killed build left");
    Own(staging, 0, 0644);
    const CliResult r = RunVpakAsOtherUser({"list", archive});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, listing);
    EXPECT_EQ(r.err, Notice("cannot remove \"" + staging + "\": Permission denied; it belongs to " + UserWords(0)));
    EXPECT_TRUE(fs::exists(staging));
}

TEST_F(ReaderAsOtherUser, ListReadsPastAJunkJournalInAFolderItMayNotWrite) {
    MakeFolderReadOnly();
    // Not a journal as vpak writes one: it may be one whose beginning was damaged, so it is
    // what there is to tell how the archive tore, and may not go unnoticed.
    WriteFile(journal, "no journal at all");
    Own(journal, 0, 0644);
    const CliResult r = RunVpakAsOtherUser({"list", archive});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, listing);
    EXPECT_EQ(r.err, Notice("left the damaged journal \"" + journal +
                            "\": it does not begin as a journal does; cannot rename it: Permission denied; the archive \"" +
                            archive + "\" may be damaged: check it with \"vpak test\""));
    EXPECT_TRUE(fs::exists(journal));
}

TEST_F(ReaderAsOtherUser, ListReadsTheArchiveAsItIsWhenItMayNotApplyTheJournal) {
    // An update whose journal could not be removed: the archive is rolled back, the journal
    // stays, as valid as when the update was interrupted.
    WriteFile(dir / "new.bin", RandomBytes(5000, 2));
    host::hooks::FailNth(host::hooks::Operation::Remove, 1, EIO, true);
    EXPECT_THROW(ReplaceOneFile({.archivePath = archive, .filePath = dir / "new.bin", .key = "data\\a.bin", .convertLoc = false}), EInOutError);
    host::hooks::ClearFaults();
    ASSERT_TRUE(fs::exists(journal));
    ASSERT_EQ(ReadFileBytes(archive), original);
    MakeFolderReadOnly();

    const CliResult r = RunVpakAsOtherUser({"list", archive});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, listing);
    EXPECT_EQ(r.err, Notice("left the journal \"" + journal + "\": cannot write the archive: Permission denied"));
    EXPECT_TRUE(fs::exists(journal));
    EXPECT_EQ(ReadFileBytes(archive), original);
}

TEST_F(ReaderAsOtherUser, ListReadsPastAnotherUsersLeftOversInAStickyFolder) {
    MakeFolderSticky();
    Own(archive, kOtherUser, 0644);
    WriteFile(staging, "another user's build");
    Own(staging, 0, 0600);
    const CliResult r = RunVpakAsOtherUser({"list", archive});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, listing);
    EXPECT_EQ(r.err, Notice("cannot remove \"" + staging + "\": Operation not permitted; it belongs to " + UserWords(0)));
    EXPECT_TRUE(fs::exists(staging));
}

TEST_F(ReaderAsOtherUser, ExtractReadsPastAnotherUsersLeftOversInAStickyFolder) {
    MakeFolderSticky();
    Own(archive, kOtherUser, 0644);
    WriteFile(staging, "another user's build");
    Own(staging, 0, 0644);
    WriteFile(journal, "another user's junk");
    Own(journal, kThirdUser, 0644);
    const std::string out = dir / "out";
    fs::create_directory(out);
    Own(out, kOtherUser, 0755);

    const CliResult r = RunVpakAsOtherUser({"extract", "-q", archive, out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "O.K. Successfully extracted 3 files!\n");
    EXPECT_EQ(ReadFileText(out + "/data/b.txt"), "bravo");
    EXPECT_NE(r.err.find(Notice("cannot remove \"" + staging + "\": Operation not permitted; it belongs to " +
                                UserWords(0))),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(Notice("left the journal \"" + journal + "\": it belongs to another user, " +
                                UserWords(kThirdUser))),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::exists(staging));
    EXPECT_TRUE(fs::exists(journal));
}

TEST_F(ReaderAsOtherUser, OwnersListLeavesAJournalAnotherUserPlanted) {
    // A user who may not write the archive writes a journal that would put chosen bytes into
    // it and grow it, in a folder open to all.
    MakeFolderSticky();
    HandJournal j(host::Stat(archive).identity, int64_t{1} << 30);
    j.Save(0, Bytes("chosen bytes"));
    j.Seal();
    const TArrayOfByte planted = j.bytes;
    WriteFile(journal, planted);
    Own(journal, kOtherUser, 0644);

    const CliResult r = RunVpak({"list", archive});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, listing);
    EXPECT_EQ(r.err, Notice("left the journal \"" + journal + "\": it belongs to another user, " + UserWords(kOtherUser)));
    EXPECT_EQ(ReadFileBytes(journal), planted);
    EXPECT_EQ(ReadFileBytes(archive), original);
}
