// A private folder below a folder for temporary files: made only where no other user can
// change the names, and removed without following a link.
#include "support/private_folder.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "helpers/environment_variable.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using host::PrivateFolder;
using host::TemporaryFolder;

void MakeFolder(const std::string& path, fs::perms mode) {
    fs::create_directories(path);
    fs::permissions(path, mode);
}

constexpr fs::perms kPrivate = fs::perms::owner_all;
constexpr fs::perms kShared = fs::perms::all;
constexpr fs::perms kSticky = fs::perms::all | fs::perms::sticky_bit;

std::unique_ptr<PrivateFolder> MakeIn(const std::vector<std::string>& paths, std::string& problem) {
    std::vector<TemporaryFolder> folders;
    for (const std::string& path : paths) folders.push_back({path, ""});
    return PrivateFolder::Make(folders, "vpak-drag-", problem);
}

// The user's own folder, which a link planted by another user names.
void WriteVictim(const TempDir& dir) {
    WriteFile(dir / "home/notes.txt", "keep me");
    WriteFile(dir / "home/deep/more.txt", "and me");
}

void ExpectVictimWhole(const TempDir& dir) {
    EXPECT_EQ(ReadFileText(dir / "home/notes.txt"), "keep me");
    EXPECT_EQ(ReadFileText(dir / "home/deep/more.txt"), "and me");
}

struct ParentCase {
    const char* what;
    // Makes the first folder below the test's directory and returns its path; the second,
    // "runtime", is always private.
    std::string (*make)(const TempDir& dir);
    bool firstTaken;
    std::string realFirst = "";  // where the folder lands when the first is a link: below it
};

void PrintTo(const ParentCase& c, std::ostream* out) { *out << c.what; }

class ParentFolders : public ::testing::TestWithParam<ParentCase> {};

TEST_P(ParentFolders, APrivateFolderGoesToTheFirstFolderNoOtherUserCanChange) {
    const ParentCase& c = GetParam();
    TempDir dir;
    const std::string first = c.make(dir);
    if (first.empty()) GTEST_SKIP() << "only root can give a folder to another user";
    MakeFolder(dir / "runtime", kPrivate);
    std::string problem;
    const std::unique_ptr<PrivateFolder> folder = MakeIn({first, dir / "runtime"}, problem);
    ASSERT_NE(folder, nullptr) << problem;
    const std::string expected = c.firstTaken ? (c.realFirst.empty() ? first : dir / c.realFirst) : dir / "runtime";
    EXPECT_EQ(fs::path(folder->Path()).parent_path(), fs::path(expected)) << c.what;
    EXPECT_EQ(fs::path(folder->Path()).filename().string().rfind("vpak-drag-", 0), 0u) << folder->Path();
    struct stat st {};
    ASSERT_EQ(::lstat(folder->Path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, ::geteuid());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParentFolders,
    ::testing::Values(
        ParentCase{"private", [](const TempDir& d) { MakeFolder(d / "t", kPrivate); return d / "t"; }, true},
        ParentCase{"shared and sticky, as /tmp", [](const TempDir& d) { MakeFolder(d / "t", kSticky); return d / "t"; },
                   true},
        ParentCase{"writable by others, not sticky", [](const TempDir& d) { MakeFolder(d / "t", kShared); return d / "t"; },
                   false},
        ParentCase{"writable by the group, not sticky",
                   [](const TempDir& d) {
                       MakeFolder(d / "t", kPrivate | fs::perms::group_all);
                       return d / "t";
                   },
                   false},
        ParentCase{"private, in a folder writable by others",
                   [](const TempDir& d) {
                       MakeFolder(d / "open/t", kPrivate);
                       fs::permissions(d / "open", kShared);
                       return d / "open/t";
                   },
                   false},
        ParentCase{"another user's",
                   [](const TempDir& d) {
                       MakeFolder(d / "t", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read |
                                               fs::perms::group_exec | fs::perms::others_exec);
                       return ::chown((d / "t").c_str(), 65533, 65533) == 0 ? d / "t" : std::string();
                   },
                   false},
        ParentCase{"a link, in a folder writable by others, to a private folder",
                   [](const TempDir& d) {
                       MakeFolder(d / "real", kPrivate);
                       MakeFolder(d / "open", kShared);
                       fs::create_directory_symlink(d / "real", d / "open/link");
                       return d / "open/link";
                   },
                   true, "real"},
        ParentCase{"missing", [](const TempDir& d) { return d / "missing"; }, false}),
    [](const ::testing::TestParamInfo<ParentCase>& info) { return "Case" + std::to_string(info.index); });

TEST(PrivateFolder, WhereNoFolderWillDoNoneIsMadeAndTheProblemSaysWhyOfEach) {
    TempDir dir;
    MakeFolder(dir / "shared", kShared);
    std::string problem;
    const std::unique_ptr<PrivateFolder> folder =
        PrivateFolder::Make({{dir / "shared", "$TMPDIR"}, {"", "$XDG_RUNTIME_DIR"}}, "vpak-drag-", problem);
    EXPECT_EQ(folder, nullptr);
    EXPECT_EQ(problem, "\"" + dir / "shared" +
                           "\" ($TMPDIR) may be changed by other users: it is writable by others and not sticky\n"
                           "$XDG_RUNTIME_DIR is not set");
    EXPECT_TRUE(fs::is_empty(dir / "shared"));
}

TEST(PrivateFolder, TheFoldersForTemporaryFilesAreTmpdirOrTmpThenXdgRuntimeDir) {
    {
        EnvironmentVariable tmpdir("TMPDIR", "/some/tmp");
        EnvironmentVariable runtime("XDG_RUNTIME_DIR", "/run/user/7");
        const std::vector<TemporaryFolder> folders = host::TemporaryFolders();
        ASSERT_EQ(folders.size(), 2u);
        EXPECT_EQ(folders[0].path, "/some/tmp");
        EXPECT_EQ(folders[0].source, "$TMPDIR");
        EXPECT_EQ(folders[1].path, "/run/user/7");
        EXPECT_EQ(folders[1].source, "$XDG_RUNTIME_DIR");
    }
    EnvironmentVariable tmpdir("TMPDIR", "");
    EnvironmentVariable runtime("XDG_RUNTIME_DIR", nullptr);
    const std::vector<TemporaryFolder> folders = host::TemporaryFolders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0].path, "/tmp");
    EXPECT_EQ(folders[1].path, "");
}

TEST(PrivateFolder, RemovingItTakesLinksInsideAsThemselvesAndNeverWhatTheyName) {
    TempDir dir;
    WriteVictim(dir);
    std::string problem;
    std::unique_ptr<PrivateFolder> folder = MakeIn({dir.Path()}, problem);
    ASSERT_NE(folder, nullptr) << problem;
    const std::string path = folder->Path();
    WriteFile(path + "/a.txt", "a");
    WriteFile(path + "/sub/b.txt", "b");
    fs::create_directory_symlink(dir / "home", path + "/sub/to-home");
    fs::create_symlink(dir / "home/notes.txt", path + "/to-notes");
    EXPECT_TRUE(folder->Remove(problem)) << problem;
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
    ExpectVictimWhole(dir);
}

TEST(PrivateFolder, AFolderSwappedForALinkToTheUsersFolderIsLeftAloneAndThatFolderKeepsItsFiles) {
    TempDir dir;
    WriteVictim(dir);
    std::string problem;
    std::unique_ptr<PrivateFolder> folder = MakeIn({dir.Path()}, problem);
    ASSERT_NE(folder, nullptr) << problem;
    const std::string path = folder->Path();
    fs::rename(path, dir / "moved-away");
    fs::create_directory_symlink(dir / "home", path);
    EXPECT_FALSE(folder->Remove(problem));
    EXPECT_EQ(problem, "\"" + path + "\" is no longer the folder that was made there: it is left alone");
    folder.reset();
    ExpectVictimWhole(dir);
    EXPECT_TRUE(fs::is_symlink(path));
}

TEST(PrivateFolder, AFolderSwappedForAnotherFolderIsLeftAlone) {
    TempDir dir;
    std::string problem;
    std::unique_ptr<PrivateFolder> folder = MakeIn({dir.Path()}, problem);
    ASSERT_NE(folder, nullptr) << problem;
    const std::string path = folder->Path();
    fs::rename(path, dir / "moved-away");
    WriteFile(path + "/someone-elses.txt", "theirs");
    folder.reset();
    EXPECT_EQ(ReadFileText(path + "/someone-elses.txt"), "theirs");
}

// Far deeper than a path may be long (PATH_MAX): only descriptors reach the bottom.
TEST(PrivateFolder, ATreeDeeperThanAPathMayBeLongIsRemovedWhole) {
    TempDir dir;
    std::string problem;
    std::unique_ptr<PrivateFolder> folder = MakeIn({dir.Path()}, problem);
    ASSERT_NE(folder, nullptr) << problem;
    const std::string name(100, 'd');
    int fd = ::open(folder->Path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int level = 0; level < 300; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0700), 0);
        const int below = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(below, 0);
        if (level % 50 == 0) ::close(::openat(below, "file", O_WRONLY | O_CREAT, 0600));
        ::close(fd);
        fd = below;
    }
    ::close(fd);
    const std::string path = folder->Path();
    EXPECT_TRUE(folder->Remove(problem)) << problem;
    EXPECT_FALSE(fs::exists(path));
}

}  // namespace
