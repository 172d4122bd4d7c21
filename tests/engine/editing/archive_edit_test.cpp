#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/building/archive_builder.h"
#include "engine/editing/archive_edit.h"
#include "engine/editing/archive_sync.h"
#include "engine/building/internal/staging_file.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "support/errors.h"
#include "helpers/operation_results.h"

namespace fs = std::filesystem;

namespace {

TArrayOfByte Made(const std::string& tree, const std::string& archive, bool bigEndian) {
    int32_t folders = 0;
    int32_t files = 0;
    EXPECT_TRUE(Made(MakeArchive({.bigEndian = bigEndian, .sourceDir = tree, .archivePath = archive}), folders, files));
    return ReadFileBytes(archive);
}

// The folders and files below root, relative to it; folders end in "/".
std::vector<std::string> TreePaths(const std::string& root) {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).string();
        paths.push_back(entry.is_directory() ? relative + "/" : relative);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Content that compresses a little, and now and then a .loc text, which is stored as a table.
void WriteRandomFile(const std::string& path, std::mt19937& random) {
    if (random() % 5 == 0 && path.size() > 4 && path.substr(path.size() - 4) == ".loc") {
        WriteFile(path, "line " + std::to_string(random() % 100) + "\r\nnext\r\n");
        return;
    }
    TArrayOfByte content = RandomBytes(random() % 3000, random);
    for (size_t k = 0; k < content.size(); k += 3) content[k] = 'a';
    WriteFile(path, content);
}

std::string RandomName(std::mt19937& random) {
    static const char* const kNames[] = {"a", "B", "data", "Text", "menu.loc", "x.bin", "zz", "Mid_1", "e-2.txt"};
    return std::string(kNames[random() % 9]) + std::to_string(random() % 4);
}

void GrowRandomTree(const std::string& folder, int depth, std::mt19937& random) {
    fs::create_directories(folder);
    const int count = static_cast<int>(random() % 5);
    for (int k = 0; k < count; ++k) {
        const std::string path = folder + "/" + RandomName(random);
        if (fs::exists(path)) continue;
        if (depth < 3 && random() % 3 == 0) GrowRandomTree(path, depth + 1, random);
        else WriteRandomFile(path, random);
    }
}

// A folder the removal of path leaves empty goes too, up to the root.
void RemoveWithEmptiedFolders(const std::string& root, std::string path) {
    fs::remove_all(root + "/" + path);
    for (fs::path parent = fs::path(path).parent_path(); !parent.empty(); parent = parent.parent_path()) {
        if (!fs::is_empty(root + "/" + parent.string())) break;
        fs::remove(root + "/" + parent.string());
    }
}

std::string Pick(const std::vector<std::string>& paths, std::mt19937& random) {
    return paths[random() % paths.size()];
}

// One random edit, made to the archive through the engine and to the tree on disk by hand.
void EditBoth(const std::string& tree, const std::string& archive, const std::string& scratch, bool bigEndian,
              std::mt19937& random) {
    const std::vector<std::string> paths = TreePaths(tree);
    TEditCounts counts;
    switch (paths.empty() ? 0 : random() % 3) {
        case 0: {  // a new file, or new content for one the archive holds given in capitals
            std::string target = paths.empty() ? "" : Pick(paths, random);
            const bool replace = !target.empty() && target.back() != '/';
            std::string folder = replace ? fs::path(target).parent_path().string() : target;
            if (!folder.empty() && folder.back() == '/') folder.pop_back();
            const std::string name = replace ? fs::path(target).filename().string() : "new" + RandomName(random);
            if (!replace && fs::exists(tree + "/" + folder + "/" + name)) return;
            std::string given = name;
            if (replace)
                for (char& c : given) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            fs::remove_all(scratch);
            WriteRandomFile(scratch + "/" + given, random);
            fs::copy_file(scratch + "/" + given, tree + "/" + (folder.empty() ? "" : folder + "/") + name,
                          fs::copy_options::overwrite_existing);
            ASSERT_TRUE(Edited(AddToArchive({bigEndian, archive, {scratch + "/" + given}, folder, true, nullptr, nullptr}), counts));
            EXPECT_EQ(counts.replaced, replace ? 1 : 0);
            return;
        }
        case 1: {  // a file or a folder removed
            std::string target = Pick(paths, random);
            ASSERT_TRUE(Edited(RemoveFromArchive({bigEndian, archive, {target}, nullptr, nullptr}), counts));
            if (target.back() == '/') target.pop_back();
            RemoveWithEmptiedFolders(tree, target);
            return;
        }
        default: {  // several changes to the tree, then a sync
            for (int k = 0; k < 3; ++k) {
                const std::string target = Pick(paths, random);
                if (!fs::exists(tree + "/" + target)) continue;
                if (target.back() == '/') GrowRandomTree(tree + "/" + target + RandomName(random), 2, random);
                else if (random() % 2 == 0) fs::remove(tree + "/" + target);
                else WriteRandomFile(tree + "/" + target, random);
            }
            TSyncResult result;
            ASSERT_TRUE(Synced(SyncArchiveWithFolder({bigEndian, archive, tree, true, false, nullptr, nullptr}), result));
        }
    }
}

}  // namespace

TEST(ArchiveEdit, RandomEditsOfAMadeArchiveGiveTheArchiveMakeBuildsFromTheEditedTree) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        TempDir dir;
        const bool bigEndian = seed % 2 == 0;
        GrowRandomTree(dir / "tree", 0, random);
        Made(dir / "tree", dir / "a.pak", bigEndian);
        for (int edit = 0; edit < 4; ++edit) {
            EditBoth(dir / "tree", dir / "a.pak", dir / "scratch", bigEndian, random);
            ASSERT_FALSE(HasFatalFailure());
            ASSERT_EQ(ReadFileBytes(dir / "a.pak"), Made(dir / "tree", dir / "b.pak", bigEndian)) << "edit " << edit;
        }
    }
}

namespace {

// A zlib stream that holds content in one stored block: sound, but not what a writer that
// compresses would store, so a copy of it is told from a new stream.
TArrayOfByte StoredStream(const TArrayOfByte& content) {
    TArrayOfByte stream{0x78, 0x01, 0x01};
    const auto length = static_cast<uint16_t>(content.size());
    for (uint16_t half : {length, static_cast<uint16_t>(~length)}) {
        stream.push_back(static_cast<uint8_t>(half & 0xFF));
        stream.push_back(static_cast<uint8_t>(half >> 8));
    }
    stream.insert(stream.end(), content.begin(), content.end());
    uint32_t a = 1;
    uint32_t b = 0;
    for (uint8_t byte : content) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (int shift : {24, 16, 8, 0}) stream.push_back(static_cast<uint8_t>(((b << 16) | a) >> shift));
    return stream;
}

// An archive of one file "old.bin" at the root whose stream is the given bytes.
void WriteOneStreamArchive(const std::string& path, const TArrayOfByte& stream, int32_t unpackedSize) {
    TArrayOfByte directory;
    PutInt(directory, false, 0);
    PutInt(directory, false, 1);
    PutName(directory, false, "old.bin");
    PutInt(directory, false, 0);
    PutInt(directory, false, static_cast<int32_t>(stream.size()));
    PutInt(directory, false, unpackedSize);
    WriteFile(path, ArchiveBytes(directory, stream, false));
}

TArrayOfByte StreamOf(const std::string& archive, const std::string& path) {
    const TArrayOfByte bytes = ReadFileBytes(archive);
    for (const ProbedEntry& entry : ProbeEntries(archive)) {
        if (entry.path != path) continue;
        const auto start = bytes.begin() + entry.absOffset;
        return TArrayOfByte(start, start + entry.packedSize);
    }
    return {};
}

}  // namespace

TEST(ArchiveEdit, AKeptStreamIsCopiedByteForByteNotCompressedAgain) {
    TempDir dir;
    const TArrayOfByte content = Bytes("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa");
    WriteOneStreamArchive(dir / "a.pak", StoredStream(content), static_cast<int32_t>(content.size()));
    WriteFile(dir / "new.txt", "new");
    TEditCounts counts;
    ASSERT_TRUE(Edited(AddToArchive({false, dir / "a.pak", {dir / "new.txt"}, "", true, nullptr, nullptr}), counts));
    EXPECT_EQ(counts.added, 1);
    EXPECT_EQ(StreamOf(dir / "a.pak", "old.bin"), StoredStream(content));
    EXPECT_EQ(counts.damagedKept, 0);
}

TEST(ArchiveEdit, ADamagedStreamIsCopiedAsItIsByAnEditAndNamed) {
    TempDir dir;
    const TArrayOfByte garbage = Bytes("no zlib stream at all");
    WriteOneStreamArchive(dir / "a.pak", garbage, 100);
    WriteFile(dir / "new.txt", "new");
    TEditCounts counts;
    TNotices notices;
    ASSERT_TRUE(Edited(AddToArchive({false, dir / "a.pak", {dir / "new.txt"}, "", true, nullptr, &notices}), counts));
    EXPECT_EQ(counts.damagedKept, 1);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].text.find("old.bin"), std::string::npos) << notices[0].text;
    EXPECT_EQ(StreamOf(dir / "a.pak", "old.bin"), garbage);
}

TEST(ArchiveEdit, SyncCompressesADamagedStreamAfreshFromTheFolder) {
    TempDir dir;
    WriteOneStreamArchive(dir / "a.pak", Bytes("no zlib stream at all"), 3);
    WriteFile(dir / "tree/old.bin", "old");
    TSyncResult result;
    ASSERT_TRUE(Synced(SyncArchiveWithFolder({false, dir / "a.pak", dir / "tree", true, false, nullptr, nullptr}), result));
    EXPECT_EQ(result.Count(TDifferenceKind::Changed), 1);
    EXPECT_EQ(ReadFileBytes(dir / "a.pak"), Made(dir / "tree", dir / "b.pak", false));
}

TEST(ArchiveEdit, AStreamOutsideTheArchiveCannotBeCopiedAndNothingIsWritten) {
    TempDir dir;
    WriteOneStreamArchive(dir / "a.pak", StoredStream(Bytes("abc")), 3);
    TArrayOfByte cut = ReadFileBytes(dir / "a.pak");
    cut.resize(cut.size() - 2);
    WriteFile(dir / "a.pak", cut);
    WriteFile(dir / "new.txt", "new");
    TEditCounts counts;
    EXPECT_THROW(Edited(AddToArchive({false, dir / "a.pak", {dir / "new.txt"}, "", true, nullptr, nullptr}), counts),
                 EDecompressionError);
    EXPECT_EQ(ReadFileBytes(dir / "a.pak"), cut);
    EXPECT_EQ(TreePaths(dir.Path()), (std::vector<std::string>{"a.pak", "new.txt"}));
}

TEST(ArchiveEdit, ACollisionOrAnUnmatchedEntryWritesNothing) {
    TempDir dir;
    WriteFile(dir / "tree/data/x.txt", "x");
    WriteFile(dir / "tree/top.txt", "t");
    const TArrayOfByte before = Made(dir / "tree", dir / "a.pak", false);
    WriteFile(dir / "in/DATA", "a file where the archive has a folder");
    WriteFile(dir / "in/top.txt/inner.txt", "a folder where the archive has a file");
    TEditCounts counts;
    TNotices notices;
    EXPECT_FALSE(Edited(AddToArchive({false, dir / "a.pak", {dir / "in/DATA"}, "", true, nullptr, &notices}), counts));
    EXPECT_FALSE(Edited(AddToArchive({false, dir / "a.pak", {dir / "in/"}, "", true, nullptr, &notices}), counts));
    EXPECT_FALSE(Edited(AddToArchive({false, dir / "a.pak", {dir / "in/DATA"}, "top.txt", true, nullptr, &notices}), counts));
    EXPECT_FALSE(Edited(RemoveFromArchive({false, dir / "a.pak", {"data/y.txt"}, nullptr, &notices}), counts));
    EXPECT_FALSE(Edited(RemoveFromArchive({false, dir / "a.pak", {"top.txt/"}, nullptr, &notices}), counts));
    EXPECT_EQ(notices.size(), 5u);
    EXPECT_EQ(ReadFileBytes(dir / "a.pak"), before);
    EXPECT_EQ(StagingPathsOf(dir / "a.pak"), std::vector<std::string>{});
}

TEST(ArchiveEdit, RemovingTheLastFileTakesItsFolderButAFolderEmptyBeforeStays) {
    TempDir dir;
    WriteFile(dir / "tree/gone/only.txt", "o");
    WriteFile(dir / "tree/kept/sub/only.txt", "o");
    WriteFile(dir / "tree/kept/other.txt", "k");
    fs::create_directories(dir / "tree/empty");
    Made(dir / "tree", dir / "a.pak", false);
    TEditCounts counts;
    ASSERT_TRUE(Edited(RemoveFromArchive({false, dir / "a.pak", {"GONE\\only.txt", "kept/sub/only.txt"}, nullptr, nullptr}), counts));
    EXPECT_EQ(counts.removedFiles, 2);
    EXPECT_EQ(counts.removedFolders, 2);
    fs::remove_all(dir / "tree/gone");
    fs::remove_all(dir / "tree/kept/sub");
    EXPECT_EQ(ReadFileBytes(dir / "a.pak"), Made(dir / "tree", dir / "b.pak", false));
}

TEST(ArchiveEdit, TheArchiveItselfAmongThePathsIsLeftOut) {
    TempDir dir;
    WriteFile(dir / "tree/x.txt", "x");
    Made(dir / "tree", dir / "tree/a.pak", false);
    TEditCounts counts;
    ASSERT_TRUE(Edited(AddToArchive({false, dir / "tree/a.pak", {dir / "tree/", dir / "tree/a.pak"}, "", true, nullptr, nullptr}), counts));
    EXPECT_EQ(counts.added + counts.replaced, 1);
    EXPECT_EQ(ProbeEntries(dir / "tree/a.pak").size(), 1u);
}

TEST(ArchiveEdit, ADirectoryOfMoreFoldersThanAnEditHoldsIsRefused) {
    TempDir dir;
    constexpr int32_t kFolders = 1000001;
    TArrayOfByte directory;
    PutInt(directory, false, kFolders);
    for (int32_t k = 0; k < kFolders; ++k) {
        PutName(directory, false, "");
        PutInt(directory, false, 0);
        PutInt(directory, false, 0);
    }
    PutInt(directory, false, 0);
    WriteFile(dir / "a.pak", ArchiveBytes(directory, {}, false));
    TEditCounts counts;
    TNotices notices;
    EXPECT_FALSE(Edited(RemoveFromArchive({false, dir / "a.pak", {"x"}, nullptr, &notices}), counts));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].text.find("1,000,000 folders"), std::string::npos) << notices[0].text;
}

// An archive whose folders and files stand out of collation order (another tool's, or one
// made under another locale) is written in make's order by an edit, whatever it changes.
TEST(ArchiveEdit, AnArchiveOutOfCollationOrderComesOutInMakesOrder) {
    const TestFolder outOfOrder{"",
                                {{"zeta", {}, {{"b.txt", {'b'}}, {"A.txt", {'a'}}}},
                                 {"Alpha", {{"inner", {}, {{"y", {'y'}}, {"x", {'x'}}}}}, {}}},
                                {{"root2", {'2'}}, {"root1", {'1'}}}};
    struct Case {
        const char* what;
        std::vector<std::string> removed;  // else a file is added at the root
        std::string goneOnDisk;            // what the removal takes from the tree
    };
    for (const Case& c : {Case{"an added file", {}, ""}, Case{"a removed file", {"zeta\\b.txt"}, "zeta/b.txt"},
                          Case{"a removed folder", {"alpha\\inner"}, "Alpha"}}) {
        TempDir dir;
        WriteTestArchive(dir / "a.pak", outOfOrder);
        // The same files on disk, for make.
        for (const auto& [path, content] : {std::pair{"zeta/b.txt", "b"}, {"zeta/A.txt", "a"}, {"Alpha/inner/y", "y"},
                                           {"Alpha/inner/x", "x"}, {"root2", "2"}, {"root1", "1"}})
            WriteFile(dir / ("tree/" + std::string(path)), content);
        TEditCounts counts;
        if (c.removed.empty()) {
            WriteFile(dir / "new/added", "n");
            WriteFile(dir / "tree/added", "n");
            ASSERT_TRUE(Edited(AddToArchive({false, dir / "a.pak", {dir / "new/added"}, "", true, nullptr, nullptr}), counts));
        } else {
            ASSERT_TRUE(Edited(RemoveFromArchive({false, dir / "a.pak", c.removed, nullptr, nullptr}), counts));
            fs::remove_all(dir / ("tree/" + c.goneOnDisk));
        }
        EXPECT_EQ(ReadFileBytes(dir / "a.pak"), Made(dir / "tree", dir / "b.pak", false)) << c.what;
    }
}
