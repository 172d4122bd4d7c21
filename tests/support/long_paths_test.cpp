#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <set>
#include <string>

#include "helpers/deep_trees.h"
#include "helpers/temp_dir.h"
#include "support/folder_chain.h"
#include "support/host_entries.h"
#include "support/host_file.h"

namespace {

constexpr int kDepth = 2500;  // "/d" per level: the bottom lies past PATH_MAX

std::string FolderAtLevel(const std::string& root, int level) {
    std::string path = root;
    for (int k = 0; k < level; ++k) path += "/d";
    return path;
}

TEST(LongPaths, StatOpenAndListTakePathsLongerThanTheKernelTakes) {
    DeepTreePlace place;
    ASSERT_EQ(::mkdir((place / "tree").c_str(), 0755), 0);
    MakeFolderChain(place / "tree", kDepth, [](int level) { return level == kDepth || level == kDepth - 1; });
    const std::string bottom = FolderAtLevel(place / "tree", kDepth);
    ASSERT_GT(bottom.size(), static_cast<size_t>(PATH_MAX));
    const std::string file = bottom + "/f" + std::to_string(kDepth) + ".txt";

    EXPECT_EQ(host::Stat(file).kind, host::EntryKind::File);
    EXPECT_EQ(host::StatNoFollow(file).size, static_cast<int64_t>(ChainFileContent(kDepth).size()));
    EXPECT_TRUE(host::NameExists(file));
    HostFile opened(file, HostFile::Mode::Read);
    std::string content(static_cast<size_t>(opened.Size()), '\0');
    opened.ReadExact(content.data(), opened.Size());
    EXPECT_EQ(content, ChainFileContent(kDepth));

    // One level up, as the files of a walk come: the same folders serve again.
    const host::DirListing above = host::ListDirectory(FolderAtLevel(place / "tree", kDepth - 1));
    EXPECT_EQ(above.errorCode, 0);
    EXPECT_EQ(above.entries.size(), 2u);
    const host::EntryInfo missing = host::Stat(bottom + "/missing.txt");
    EXPECT_EQ(missing.kind, host::EntryKind::Missing);
    EXPECT_EQ(missing.errorCode, ENOENT);
    EXPECT_EQ(host::Stat(bottom + "/f" + std::to_string(kDepth) + ".txt/below").errorCode, ENOTDIR);
    host::ForgetFolders();
}

TEST(FolderChain, ComesBackUpToTheFolderItEnteredALinkFromBelowTheFoldersItHolds) {
    TempDir dir;
    ASSERT_EQ(::mkdir((dir / "tree").c_str(), 0755), 0);
    MakeFolderChain(dir / "tree", 40, [](int) { return false; });
    ASSERT_EQ(::mkdir((dir / "elsewhere").c_str(), 0755), 0);
    const std::string deep = FolderAtLevel(dir / "tree", 30);
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (deep + "/link").c_str()), 0);

    host::FolderChain chain;
    ASSERT_EQ(chain.Start(dir / "tree"), 0);
    for (int level = 0; level < 30; ++level) ASSERT_EQ(chain.Enter("d"), 0) << level;
    const host::FileIdentity at30 = chain.Identity();
    ASSERT_EQ(chain.Enter("link"), 0);
    EXPECT_EQ(chain.Identity(), host::Stat(dir / "elsewhere").identity);
    // ".." of the link's folder is not the folder above it on the chain.
    ASSERT_EQ(chain.Leave(), 0);
    EXPECT_EQ(chain.Identity(), at30);
    // The folder it stands in is that one indeed, not the one ".." led to.
    std::set<std::string> names;
    for (const host::DirEntry& entry : chain.List().entries) names.insert(entry.name);
    EXPECT_EQ(names, (std::set<std::string>{"d", "link"}));
    ASSERT_EQ(chain.Leave(), 0);
    EXPECT_EQ(chain.Identity(), host::Stat(FolderAtLevel(dir / "tree", 29)).identity);
    EXPECT_EQ(chain.Depth(), 29u);
    EXPECT_EQ(chain.Enter("missing"), ENOENT);
    EXPECT_EQ(chain.Depth(), 29u);
}

TEST(ListDirectory, ALinkThatPointsNowhereIsToldApartFromOtherEntries) {
    TempDir dir;
    WriteFile(dir / "tree/file.txt", "f");
    ASSERT_EQ(::symlink("missing.txt", (dir / "tree/gone").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "tree/fifo").c_str(), 0644), 0);
    const host::DirListing listing = host::ListDirectory(dir / "tree");
    ASSERT_EQ(listing.entries.size(), 3u);
    for (const host::DirEntry& entry : listing.entries) {
        EXPECT_EQ(entry.info.danglingLink, entry.name == "gone") << entry.name;
        if (entry.name == "gone") {
            EXPECT_EQ(entry.info.errorCode, ENOENT);
        }
        if (entry.name != "file.txt") {
            EXPECT_EQ(entry.info.kind, host::EntryKind::Other) << entry.name;
        }
    }
}

}  // namespace
