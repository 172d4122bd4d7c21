// The command line in a file system it does not control: devices, FIFOs and links where an
// archive goes, folders and files it may not read, names that hold a backslash.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "engine/building/internal/staging_file.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// A folder the other user may enter and write, as a shared mod folder is.
void ShareWithEveryone(const std::string& path) { fs::permissions(path, fs::perms::all); }

void Lock(const std::string& path) { fs::permissions(path, fs::perms::none); }

std::vector<std::string> ListedPaths(const std::string& archive) {
    std::vector<std::string> paths;
    for (const ProbedEntry& entry : ProbeEntries(archive)) paths.push_back(entry.path);
    return paths;
}

bool Mentions(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

#define SKIP_UNLESS_ANOTHER_USER_CAN_RUN() \
    if (!CanRunAsOtherUser()) GTEST_SKIP() << "permissions only bite for another user: run as root"

}  // namespace

TEST(SharedFolder, MakeNeverReplacesADeviceAFifoOrALinkToOne) {
    TempDir dir;
    WriteFile(dir / "src/a.txt", "a");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    std::vector<std::string> targets{"fifo"};
    if (::mknod((dir / "device").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0) {  // root only
        fs::create_symlink(dir / "device", dir / "link-to-device");
        targets.insert(targets.end(), {"device", "link-to-device"});
    }
    for (const std::string& target : targets) {
        const fs::file_type before = fs::symlink_status(dir / target).type();
        const CliResult result = RunVpak({"make", "-q", dir / target, dir / "src"});
        EXPECT_EQ(result.status, 3) << target;
        EXPECT_TRUE(Mentions(result.err, "it is a device, FIFO or socket")) << result.err;
        EXPECT_EQ(fs::symlink_status(dir / target).type(), before) << target;
        EXPECT_EQ(StagingPathsOf(dir / target), std::vector<std::string>{}) << target;
    }
}

TEST(SharedFolder, MakeNamesUnreadableFoldersAndFilesStoresTheRestAndFails) {
    SKIP_UNLESS_ANOTHER_USER_CAN_RUN();
    TempDir dir;
    ShareWithEveryone(dir.Path());
    WriteFile(dir / "src/ok.txt", "fine");
    WriteFile(dir / "src/locked/inner.txt", "hidden");
    WriteFile(dir / "src/secret.txt", "secret");
    fs::permissions(dir / "src", fs::perms::all);
    Lock(dir / "src/locked");
    Lock(dir / "src/secret.txt");

    const CliResult result = RunVpakAsOtherUser({"make", "-q", dir / "out.pak", dir / "src"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error :-(\n"
                          "vpak: cannot read the folder \"" + dir / "src/locked" + "\": Permission denied\n" +
                              "vpak: cannot read \"" + dir / "src/secret.txt" + "\": Permission denied\n");
    EXPECT_EQ(ListedPaths(dir / "out.pak"), (std::vector<std::string>{"ok.txt"}));
}

TEST(SharedFolder, MakeFromAnUnreadableFolderFailsBeforeWritingAndKeepsTheOldArchive) {
    SKIP_UNLESS_ANOTHER_USER_CAN_RUN();
    TempDir dir;
    ShareWithEveryone(dir.Path());
    WriteFile(dir / "src/a.txt", "a");
    WriteTestArchive(dir / "out.pak", TestFolder{"", {}, {{"old.txt", Bytes("old")}}});
    const TArrayOfByte before = ReadFileBytes(dir / "out.pak");
    Lock(dir / "src");

    const CliResult result = RunVpakAsOtherUser({"make", "-q", dir / "out.pak", dir / "src"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error :-(\nvpak: cannot read the folder \"" + dir / "src" + "\": Permission denied\n");
    EXPECT_EQ(ReadFileBytes(dir / "out.pak"), before);
    EXPECT_EQ(StagingPathsOf(dir / "out.pak"), std::vector<std::string>{});
}

TEST(SharedFolder, ABackslashInAFileNameIsPartOfTheNameNeverASeparator) {
    TempDir dir;
    WriteFile(dir / "t/a/b.txt", "through the folder");
    WriteFile(dir / "t/a\\b.txt", "backslash in the name");
    const CliResult result = RunVpak({"make", "-q", dir / "out.pak", dir / "t"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error :-(\nvpak: cannot store \"" + dir / "t/a\\b.txt" +
                              "\": the name holds a backslash, which the archive takes for a folder separator\n");
    const std::vector<ProbedEntry> entries = ProbeEntries(dir / "out.pak");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].path, "a\\b.txt");
    EXPECT_EQ(ProbeContent(ReadFileBytes(dir / "out.pak"), entries[0]), Bytes("through the folder"));
}

TEST(SharedFolder, ReplaceDirTakesNoFileWhoseNameHoldsABackslash) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {{"a", {}, {{"b.txt", Bytes("old")}}}}, {}});
    const TArrayOfByte before = ReadFileBytes(dir / "x.pak");
    WriteFile(dir / "new/a\\b.txt", "not the entry a\\b.txt");
    const CliResult result = RunVpak({"replace-dir", "-q", dir / "x.pak", dir / "new"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error :-(\nvpak: cannot use \"" + dir / "new/a\\b.txt" +
                              "\": the name holds a backslash, which archive paths take for a separator\n");
    EXPECT_EQ(ReadFileBytes(dir / "x.pak"), before);
}

TEST(SharedFolder, PathsOnTheCommandLineAreLinuxPaths) {
    TempDir dir;
    WriteFile(dir / "we\\ird/a.txt", "a");
    const CliResult made = RunVpak({"make", "-q", "we\\ird.pak", "we\\ird"}, dir.Path());
    EXPECT_EQ(made.status, 0) << made.err;
    EXPECT_TRUE(fs::is_regular_file(dir / "we\\ird.pak"));
    const CliResult extracted = RunVpak({"extract", "-q", "we\\ird.pak", "out\\put"}, dir.Path());
    EXPECT_EQ(extracted.status, 0) << extracted.err;
    EXPECT_EQ(ReadFileText(dir / "out\\put/a.txt"), "a");
    EXPECT_FALSE(fs::exists(dir / "we"));
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(SharedFolder, ReplaceDirNamesWhatItCouldNotReadReplacesTheRestAndFails) {
    SKIP_UNLESS_ANOTHER_USER_CAN_RUN();
    TempDir dir;
    ShareWithEveryone(dir.Path());
    WriteTestArchive(dir / "x.pak", TestFolder{"", {{"sub", {}, {{"in.txt", Bytes("old in")}}}},
                                               {{"a.txt", Bytes("old a")}, {"b.txt", Bytes("old b")}}});
    fs::permissions(dir / "x.pak", fs::perms::all);
    WriteFile(dir / "new/a.txt", "new a");
    WriteFile(dir / "new/b.txt", "new b");
    WriteFile(dir / "new/sub/in.txt", "new in");
    fs::permissions(dir / "new", fs::perms::all);
    Lock(dir / "new/b.txt");
    Lock(dir / "new/sub");

    const CliResult result = RunVpakAsOtherUser({"replace-dir", "-q", dir / "x.pak", dir / "new"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Mentions(result.err, "vpak: cannot read the folder \"" + dir / "new/sub" + "\": Permission denied\n"))
        << result.err;
    EXPECT_TRUE(Mentions(result.err, "vpak: cannot read \"" + dir / "new/b.txt" + "\": Permission denied\n"))
        << result.err;
    const TArrayOfByte bytes = ReadFileBytes(dir / "x.pak");
    for (const ProbedEntry& entry : ProbeEntries(dir / "x.pak")) {
        const std::string expected = entry.path == "a.txt" ? "new a" : entry.path == "b.txt" ? "old b" : "old in";
        EXPECT_EQ(ProbeContent(bytes, entry), Bytes(expected)) << entry.path;
    }
}

TEST(SharedFolder, ReplaceRefusesAFileOfTwoGibibytesBeforeReadingIt) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", TestFolder{"", {}, {{"a.bin", Bytes("small")}}});
    const TArrayOfByte before = ReadFileBytes(dir / "x.pak");
    {
        // Sparse: it takes no disk, only its size matters.
        WriteFile(dir / "huge.bin", "");
        fs::resize_file(dir / "huge.bin", uintmax_t{1} << 31);
    }
    const CliResult result = RunVpak({"replace", "--path", "a.bin", dir / "x.pak", dir / "huge.bin"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error :-(\nvpak: cannot read \"" + dir / "huge.bin" +
                              "\": it is larger than 2147483647 bytes\n");
    EXPECT_EQ(ReadFileBytes(dir / "x.pak"), before);
}

// A folder open to all where only a file's owner may remove it, as /tmp is: another user's
// files under the names vpak stages to, an earlier version's fixed one and one in today's
// form, stand in no edit's or build's way, and the one that looks like a left-over is named
// with its owner.
TEST(SharedFolder, AnotherUsersFilesWhereBuildsStageStopNoEditOrBuild) {
    SKIP_UNLESS_ANOTHER_USER_CAN_RUN();
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    const std::string shared = dir / "shared";
    fs::create_directory(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const std::string archive = shared + "/x.pak";
    WriteTestArchive(archive, TestFolder{"", {}, {{"old.txt", Bytes("old")}}});
    ASSERT_EQ(::chown(archive.c_str(), kOtherUser, kOtherUser), 0);
    const std::string fixedName = archive + ".vpak-new";
    const std::string formedName = archive + kStagingSuffix + "0123456789ab";
    for (const std::string& planted : {fixedName, formedName}) {
        WriteFile(planted, "planted");
        ASSERT_EQ(::chmod(planted.c_str(), 0600), 0);  // root's, which the other user may not even read
    }
    const std::string added = shared + "/new.txt";
    WriteFile(added, "new");
    const std::string tree = shared + "/tree";
    WriteFile(tree + "/t.txt", "tree");
    fs::permissions(tree, fs::perms::all);
    fs::permissions(added, fs::perms::all);
    fs::permissions(tree + "/t.txt", fs::perms::all);

    const std::string leftAlone = "vpak: cannot remove \"" + formedName + "\": Operation not permitted; it belongs to " +
                                  UserWords(0) + "\n";
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> writes = {
        {{"add", "-q", archive, added}, {"new.txt", "old.txt"}},
        {{"remove", "-q", archive, "old.txt"}, {"new.txt"}},
        {{"sync", "-q", archive, tree}, {"t.txt"}},
        {{"make", "-q", archive, tree}, {"t.txt"}},
    };
    for (const auto& [args, paths] : writes) {
        const CliResult result = RunVpakAsOtherUser(args);
        EXPECT_EQ(result.status, 0) << args[0] << ": " << result.err;
        EXPECT_NE(result.err.find(leftAlone), std::string::npos) << args[0] << ": " << result.err;
        // Listed as that user: a listing as root would remove what root's process may.
        std::vector<std::string> listed;
        std::istringstream lines(RunVpakAsOtherUser({"list", archive}).out);
        for (std::string line; std::getline(lines, line);) listed.push_back(line.substr(45));
        EXPECT_EQ(listed, paths) << args[0];
    }
    EXPECT_EQ(ReadFileText(fixedName), "planted");
    EXPECT_EQ(ReadFileText(formedName), "planted");
    EXPECT_EQ(StagingPathsOf(archive), std::vector<std::string>{formedName});
}
