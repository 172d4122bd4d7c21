// Extraction onto files that already exist: only a plain file of the user's own, as a new
// file would be, is written over in place; anything else gives its name to a new file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "helpers/archive_writer.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned kThirdUser = 65533;

TestFolder OneFile(const std::string& name, const std::string& content) {
    return TestFolder{"", {}, {{name, Bytes(content)}}};
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0) text.append(buffer, n);
    return text;
}

// The process's umask for as long as it lives: files that extraction makes get 0666 less it.
class Umask {
public:
    explicit Umask(mode_t mask) : old_(::umask(mask)) {}
    ~Umask() { ::umask(old_); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

private:
    mode_t old_;
};

}  // namespace

// A folder that the user and a third user may both write: the third user's file there, with
// the very permissions and group a new file of the user's would get, is still not the
// user's, and the user's archive content never goes into it.
TEST(ExtractRewrite, AnotherUsersFileInASharedTargetIsReplacedByANewFileAndNeverWrittenInPlace) {
    if (!CanRunAsOtherUser()) GTEST_SKIP() << "ownership only shows for another user: run as root";
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::all);
    WriteTestArchive(dir / "x.pak", OneFile("a.txt", "new"));
    fs::create_directory(dir / "out");
    ASSERT_EQ(::chown((dir / "out").c_str(), kOtherUser, kOtherUser), 0);
    fs::permissions(dir / "out", fs::perms::all);
    WriteFile(dir / "out/a.txt", "the third user's own text");
    ASSERT_EQ(::chown((dir / "out/a.txt").c_str(), kThirdUser, kOtherUser), 0);
    fs::permissions(dir / "out/a.txt", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                           fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
    const int held = ::open((dir / "out/a.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);

    CliResult result;
    {
        const Umask noMask(0);  // a new file gets 0666, as the third user's file has
        result = RunVpakAsOtherUser({"extract", "-q", dir / "x.pak", dir / "out"});
    }
    EXPECT_EQ(result.status, 0) << result.err;
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "out/a.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_uid, kOtherUser) << "the extracted file is the extracting user's";
    EXPECT_EQ(ReadFileText(dir / "out/a.txt"), "new");
    EXPECT_EQ(ReadAll(held), "the third user's own text") << "the third user's file was written in place";
    ::close(held);
}

// Between the look at the existing file and its open, the name is given to a link to that
// same file (moved aside): the open must not follow it, so the name ends as a new file.
TEST(ExtractRewrite, AFileSwappedForALinkBeforeItIsOpenedIsReplacedAndNothingIsWrittenThroughTheLink) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", OneFile("a.txt", "new"));
    WriteFile(dir / "out/a.txt", "old content, longer");
    const CliResult result = RunVpakWithEnvironment(VpakBuild::TestHooks, {"extract", "-q", dir / "x.pak", dir / "out"},
                                                    {"VPAK_TEST_LINK_BEFORE_OPEN=1"});
    EXPECT_EQ(result.status, 0) << result.err;
    ASSERT_TRUE(fs::exists(dir / "out/a.txt.moved")) << "the swap was made";
    EXPECT_FALSE(fs::is_symlink(dir / "out/a.txt"));
    EXPECT_EQ(ReadFileText(dir / "out/a.txt"), "new");
    EXPECT_EQ(ReadFileText(dir / "out/a.txt.moved"), "old content, longer");
}
