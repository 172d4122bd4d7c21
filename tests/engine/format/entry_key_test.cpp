#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/format/hash_tag.h"
#include "engine/format/internal/entry_key.h"
#include "engine/format/internal/hash_tag.h"
#include "helpers/index_of_paths.h"

namespace {

int32_t Found(const TArchiveIndex& index, const std::string& given, bool byTag = false) {
    return FindEntry(index, given, byTag).entry;
}

std::string Tag(const std::string& path) { return TagToText(PathHashTag(path)); }

struct TKeyCase {
    const char* path;
    const char* key;
};

}  // namespace

TEST(EntryPathKey, TakesSlashForBackslashAndLowersOnlyAsciiLetters) {
    const TKeyCase cases[] = {
        {"scripts\\intro.txt", "scripts\\intro.txt"},
        {"SCRIPTS/Intro.TXT", "scripts\\intro.txt"},
        {"a/b\\C/", "a\\b\\c\\"},
        {"AZaz", "azaz"},
        // The neighbours of A to Z stay: '@' and '[' are not letters.
        {"@[`{", "@[`{"},
        // Bytes from 0x80 up stay as they are: "Ü" does not become "ü".
        {"TEXT\\MEN\xC3\x9C.LOC", "text\\men\xC3\x9C.loc"},
        {"men\xC3\xBC", "men\xC3\xBC"},
        {"a b ", "a b "},
        {"", ""},
    };
    for (const TKeyCase& c : cases) EXPECT_EQ(EntryPathKey(c.path), c.key) << c.path;
}

TEST(EntryPathKey, TwoPathsFindOneEntryExactlyWhenTheirKeysAreEqual) {
    struct TPair {
        const char* wanted;
        const char* entry;
        bool same;
    };
    const TPair pairs[] = {
        {"SCRIPTS/Intro.TXT", "scripts\\intro.txt", true},
        {"scripts\\intro.txt", "scripts/intro.txt", true},
        {"text\\men\xC3\xBC.loc", "TEXT/MEN\xC3\xBC.LOC", true},
        {"text\\men\xC3\x9C.loc", "text\\men\xC3\xBC.loc", false},
        {"a ", "a", false},
        {"scripts", "scripts\\intro.txt", false},
        {"\\a", "a", false},
    };
    for (const TPair& p : pairs) {
        const std::optional<std::string> wanted = KeyOfWanted(p.wanted, false);
        ASSERT_TRUE(wanted.has_value()) << p.wanted;
        EXPECT_EQ(*wanted == KeyOfEntry(p.entry, false), p.same) << p.wanted << " / " << p.entry;
    }
}

TEST(KeyOfWanted, AnEmptyPathNamesNoEntryButAnEmptyTagTextIsTheAllZeroTag) {
    EXPECT_FALSE(KeyOfWanted("", false).has_value());
    ASSERT_TRUE(KeyOfWanted("", true).has_value());
    EXPECT_EQ(*KeyOfWanted("", true), EntryTagKey(HashTag{}));
    EXPECT_EQ(*KeyOfWanted("", true), KeyOfEntry("", true));
}

TEST(KeyOfWanted, ATagTextFindsTheEntryWhosePathHasThatTagInEitherCase) {
    const std::string path = "text\\menu.loc";
    const std::string text = TagToText(PathHashTag(path));
    std::string upper = text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    for (const std::string& given : {text, upper}) {
        EXPECT_EQ(KeyOfWanted(given, true), KeyOfEntry(path, true)) << given;
        // The tag folds case and slashes as the path key does.
        EXPECT_EQ(KeyOfWanted(given, true), KeyOfEntry("TEXT/Menu.LOC", true)) << given;
        EXPECT_NE(KeyOfWanted(given, true), KeyOfEntry("text\\menu.lo", true)) << given;
    }
}

TEST(FindEntry, ComparesPathsIgnoringAsciiCaseAndSlashDirection) {
    const TArchiveIndex index = IndexOfPaths({"scripts\\intro.txt", "text/men\xC3\xBC.loc", "a", "data\\B.txt"});
    EXPECT_EQ(Found(index, "SCRIPTS/Intro.TXT"), 0);
    EXPECT_EQ(Found(index, "text\\men\xC3\xBC.loc"), 1);
    // Only A to Z fold: the bytes of "ü" and "Ü" stay different.
    EXPECT_EQ(Found(index, "TEXT\\MEN\xC3\xBC.LOC"), 1);
    EXPECT_EQ(Found(index, "TEXT\\MEN\xC3\x9C.LOC"), -1);
    EXPECT_EQ(Found(index, "A"), 2);
    EXPECT_EQ(Found(index, "data/b.txt"), 3);
    EXPECT_EQ(Found(index, "a "), -1);
    EXPECT_EQ(Found(index, "scripts"), -1);
    EXPECT_EQ(Found(index, ""), -1);
    EXPECT_EQ(Found(IndexOfPaths({}), "a"), -1);
}

TEST(FindEntry, AnEmptyPathFindsNotEvenAnEntryWithAnEmptyPath) {
    EXPECT_EQ(Found(IndexOfPaths({"a", ""}), ""), -1);
}

// Paths that differ only in letter case can both stand in an archive (a folder on Linux
// holds both): the exact one is meant; a key that only both share means neither.
TEST(FindEntry, AnExactPathWinsAndAKeyThatTwoPathsShareIsAmbiguous) {
    const TArchiveIndex index = IndexOfPaths({"A.txt", "x\\Menu.loc", "a.txt", "X/MENU.LOC", "b.txt", "b.txt"});
    EXPECT_EQ(Found(index, "a.txt"), 2);
    EXPECT_EQ(Found(index, "A.txt"), 0);
    EXPECT_EQ(Found(index, "x/Menu.loc"), 1);
    EXPECT_EQ(Found(index, "X\\MENU.LOC"), 3);
    // Two records of one path are one path: the first is meant, as ever.
    EXPECT_EQ(Found(index, "B.TXT"), 4);

    const TEntryMatch folded = FindEntry(index, "A.TXT", false);
    EXPECT_FALSE(folded.Found());
    ASSERT_TRUE(folded.Ambiguous());
    EXPECT_EQ(folded.first, 0);
    EXPECT_EQ(folded.second, 2);
    EXPECT_EQ(AmbiguityReason(index, folded, false),
              "it names both \"A.txt\" and \"a.txt\" of the archive, which differ only in letter case");
}

TEST(FindEntry, ATagThatTwoPathsShareIsAmbiguous) {
    const TArchiveIndex index = IndexOfPaths({"x.dat", "Text/Menu.LOC", "text\\menu.loc", "b.txt", "b.txt"});
    EXPECT_EQ(Found(index, Tag("x.dat"), true), 0);
    EXPECT_EQ(Found(index, Tag("b.txt"), true), 3);
    EXPECT_EQ(Found(index, Tag("c.txt"), true), -1);
    const TEntryMatch shared = FindEntry(index, Tag("text\\menu.loc"), true);
    EXPECT_FALSE(shared.Found());
    ASSERT_TRUE(shared.Ambiguous());
    EXPECT_EQ(AmbiguityReason(index, shared, true),
              "its hash tag is that of both \"Text/Menu.LOC\" and \"text/menu.loc\" of the archive, which differ "
              "only in letter case");
}

TEST(FindEntry, TheAllZeroTagMatchesOnlyAnEmptyPath) {
    EXPECT_EQ(Found(IndexOfPaths({"a", ""}), "", true), 1);
    EXPECT_EQ(Found(IndexOfPaths({"a"}), "", true), -1);
}

// The one-pass replacement looks entries up in the index, replacing one file searches the
// records: both find the same entry for every name.
TEST(TEntryIndex, FindsWhatFindEntryFinds) {
    const TArchiveIndex index = IndexOfPaths({"scripts\\intro.txt", "SCRIPTS/INTRO.TXT", "text\\men\xC3\xBC.loc", "",
                                              "a", "A", "b"});
    const std::vector<std::string> paths{
        "scripts/intro.txt", "Scripts\\Intro.txt", "text\\MEN\xC3\xBC.LOC", "text\\men\xC3\x9C.loc", "",
        "a",                 "A ",                  "B",                    "missing",
    };
    std::vector<std::string> tags;
    for (const char* path : {"SCRIPTS\\intro.txt", "", "a", "b", "missing"}) tags.push_back(Tag(path));
    tags.push_back("");
    tags.push_back("not a tag");

    for (const bool byTag : {false, true}) {
        const TEntryIndex entries(index, byTag);
        std::vector<std::string> names = paths;
        names.insert(names.end(), tags.begin(), tags.end());
        for (const std::string& name : names) {
            const TEntryMatch indexed = entries.Find(name);
            const TEntryMatch searched = FindEntry(index, name, byTag);
            EXPECT_EQ(indexed.entry, searched.entry) << (byTag ? "by tag: " : "by path: ") << name;
            EXPECT_EQ(indexed.first, searched.first) << (byTag ? "by tag: " : "by path: ") << name;
            EXPECT_EQ(indexed.second, searched.second) << (byTag ? "by tag: " : "by path: ") << name;
        }
    }
    const TEntryIndex byPath(index, false);
    EXPECT_EQ(byPath.Find("scripts/intro.txt").entry, 0);
    EXPECT_TRUE(byPath.Find("Scripts/intro.txt").Ambiguous());
    EXPECT_EQ(byPath.Find("B").entry, 6);
    EXPECT_EQ(byPath.Find("").entry, -1);
    const TEntryIndex byTag(index, true);
    EXPECT_EQ(byTag.Find(Tag("b")).entry, 6);
    EXPECT_EQ(byTag.Find("").entry, 3);
    EXPECT_EQ(TEntryIndex().Find("a").entry, -1);
}
