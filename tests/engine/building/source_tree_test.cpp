#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/building/internal/source_tree.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::vector<host::DirEntry>& entries) {
    std::vector<std::string> names;
    for (const host::DirEntry& entry : entries) names.push_back(entry.name);
    return names;
}

}  // namespace

TEST(ListSourceTree, SortsEachFolderAsMakeStoresItWhateverOrderTheEntriesWereMadeIn) {
    TempDir dir;
    for (const char* name : {"b.txt", "c", "a.txt", "A.txt"}) WriteFile(dir / ("top/" + std::string(name)), "x");
    for (const char* name : {"sub2", "Sub1", "sub1"}) fs::create_directories(dir / ("top/" + std::string(name)));
    const TListedTree listed = ListSourceTree(dir / "top", false);
    const TSourceFolder& tree = listed.Root();
    // Letter case is ignored, and two names equal but for it go by their bytes.
    EXPECT_EQ(Names(tree.folders), (std::vector<std::string>{"Sub1", "sub1", "sub2"}));
    EXPECT_EQ(Names(tree.files), (std::vector<std::string>{"A.txt", "a.txt", "b.txt", "c"}));
    ASSERT_EQ(listed.folders.size(), 4u);
    EXPECT_TRUE(tree.unstorable.empty());
    EXPECT_TRUE(tree.unreadable.empty());
}

TEST(ListSourceTree, NamesHoldingABackslashAreSetApartFoldersIncluded) {
    TempDir dir;
    WriteFile(dir / "top/plain.txt", "p");
    WriteFile(dir / "top/back\\slash.txt", "b");
    fs::create_directories(dir / "top/folder\\name");
    WriteFile(dir / "top/folder\\name/inside.txt", "i");
    const TListedTree listed = ListSourceTree(dir / "top", false);
    const TSourceFolder& tree = listed.Root();
    EXPECT_EQ(Names(tree.files), std::vector<std::string>{"plain.txt"});
    EXPECT_TRUE(tree.folders.empty());
    EXPECT_EQ(Names(tree.unstorable), (std::vector<std::string>{"back\\slash.txt", "folder\\name"}));
}

TEST(ListSourceTree, ALinkBackUpThePathIsListedButNotEntered) {
    TempDir dir;
    WriteFile(dir / "top/a/file.txt", "f");
    fs::create_directory_symlink(dir / "top", dir / "top/a/loop");
    fs::create_directory_symlink(dir / "top/a", dir / "top/a/self");
    fs::create_directories(dir / "elsewhere/deep");
    fs::create_directory_symlink(dir / "elsewhere", dir / "top/a/out");
    const TListedTree tree = ListSourceTree(dir / "top", false);
    ASSERT_EQ(Names(tree.Root().folders), std::vector<std::string>{"a"});
    const size_t a = tree.Child(0, 0);
    EXPECT_FALSE(tree.folders[a].linksBack);
    EXPECT_EQ(Names(tree.folders[a].files), std::vector<std::string>{"file.txt"});
    ASSERT_EQ(Names(tree.folders[a].folders), (std::vector<std::string>{"loop", "out", "self"}));
    EXPECT_TRUE(tree.folders[tree.Child(a, 0)].linksBack);
    EXPECT_TRUE(tree.folders[tree.Child(a, 0)].folders.empty());
    // A link to a folder off the path is entered like any folder.
    EXPECT_FALSE(tree.folders[tree.Child(a, 1)].linksBack);
    EXPECT_EQ(Names(tree.folders[tree.Child(a, 1)].folders), std::vector<std::string>{"deep"});
    EXPECT_TRUE(tree.folders[tree.Child(a, 2)].linksBack);
}

TEST(ListSourceTree, AFolderThatCannotBeListedSaysWhy) {
    TempDir dir;
    fs::create_directories(dir / "top");
    const TListedTree listed = ListSourceTree(dir / "top/missing", false);
    const TSourceFolder& missing = listed.Root();
    EXPECT_FALSE(missing.unreadable.empty());
    EXPECT_TRUE(missing.files.empty());
    EXPECT_TRUE(missing.folders.empty());
}
