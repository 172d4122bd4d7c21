#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/hash_tag.h"
#include "engine/internal/entry_key.h"
#include "engine/internal/hash_tag.h"

namespace {

// A listing line as the directory reader writes it: 45 characters, then the path.
std::string ListingLine(const std::string& path) {
    return "00000001*00000002*00000003*00000004*00000005*" + path;
}
constexpr int32_t kPrefixLength = 45;

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

TEST(FindEntryByPath, ComparesPathsIgnoringAsciiCaseAndSlashDirection) {
    const TStringList listing = {
        "00000000*00000000*00000000*00000001*00000001*scripts\\intro.txt",
        "00000000*00000000*00000000*00000001*00000001*SCRIPTS\\INTRO.TXT",
        "00000000*00000000*00000000*00000001*00000001*text/menü.loc",
        "00000000*00000000*00000000*00000001*00000001*a",
    };
    EXPECT_EQ(FindEntryByPath(listing, "SCRIPTS/Intro.TXT", 45, 0), 0);
    EXPECT_EQ(FindEntryByPath(listing, "text\\menü.loc", 45, 0), 2);
    // Only A to Z fold: the bytes of "ü" and "Ü" stay different.
    EXPECT_EQ(FindEntryByPath(listing, "TEXT\\MENü.LOC", 45, 0), 2);
    EXPECT_EQ(FindEntryByPath(listing, "TEXT\\MENÜ.LOC", 45, 0), -1);
    EXPECT_EQ(FindEntryByPath(listing, "A", 45, 0), 3);
    EXPECT_EQ(FindEntryByPath(listing, "a ", 45, 0), -1);
    EXPECT_EQ(FindEntryByPath(listing, "scripts", 45, 0), -1);
    EXPECT_EQ(FindEntryByPath(listing, "", 45, 0), -1);
    EXPECT_EQ(FindEntryByPath({}, "a", 45, 0), -1);
}

TEST(FindEntryByPath, CutsTheGivenLengthsFromBothEnds) {
    const TStringList listing = {"##a.txt!!", "##b.txt!!"};
    EXPECT_EQ(FindEntryByPath(listing, "b.txt", 2, 2), 1);
    EXPECT_EQ(FindEntryByPath(listing, "b.txt!!", 2, 0), 1);
    EXPECT_EQ(FindEntryByPath(listing, "b.txt", 2, 0), -1);
}

TEST(FindEntryByPath, AnEmptyPathFindsNotEvenAnEntryWithAnEmptyPath) {
    const TStringList lines{ListingLine("a"), ListingLine("")};
    EXPECT_EQ(FindEntryByPath(lines, "", kPrefixLength, 0), -1);
}

TEST(FindEntryByTag, ReturnsThePositionOfTheFirstMatchingLine) {
    const TStringList lines{ListingLine("a.txt"), ListingLine("text\\menu.loc"), ListingLine("b.txt")};
    EXPECT_EQ(FindEntryByTag(lines, PathHashTag("text\\menu.loc"), kPrefixLength, 0), 1);
    EXPECT_EQ(FindEntryByTag(lines, PathHashTag("a.txt"), kPrefixLength, 0), 0);
    EXPECT_EQ(FindEntryByTag(lines, PathHashTag("c.txt"), kPrefixLength, 0), -1);
    EXPECT_EQ(FindEntryByTag({}, PathHashTag("a.txt"), kPrefixLength, 0), -1);
}

TEST(FindEntryByTag, ReturnsTheEarlierOfTwoCaseVariants) {
    const TStringList lines{ListingLine("x.dat"), ListingLine("Text/Menu.LOC"), ListingLine("text\\menu.loc")};
    EXPECT_EQ(FindEntryByTag(lines, PathHashTag("TEXT\\MENU.LOC"), kPrefixLength, 0), 1);
}

TEST(FindEntryByTag, AppliesBothCutLengths) {
    const TStringList lines{"##a.txt!!", "##b.txt!!"};
    EXPECT_EQ(FindEntryByTag(lines, PathHashTag("b.txt"), 2, 2), 1);
    EXPECT_EQ(FindEntryByTag(lines, PathHashTag("b.txt"), 0, 0), -1);
}

TEST(FindEntryByTag, AllZeroTagMatchesOnlyAnEmptyPath) {
    const TStringList lines{ListingLine("a"), ListingLine("")};
    EXPECT_EQ(FindEntryByTag(lines, TagFromText(""), kPrefixLength, 0), 1);
    EXPECT_EQ(FindEntryByTag({ListingLine("a")}, TagFromText(""), kPrefixLength, 0), -1);
}

// The one-pass replacement looks entries up in the index, replacing one file searches the
// listing: both find the same line for every name.
TEST(TEntryIndex, FindsTheLineFindEntryFinds) {
    const TStringList lines{
        ListingLine("scripts\\intro.txt"), ListingLine("SCRIPTS/INTRO.TXT"), ListingLine("text\\men\xC3\xBC.loc"),
        ListingLine(""),                   ListingLine("a"),                 ListingLine("A"),
    };
    const std::vector<std::string> paths{
        "scripts/intro.txt", "Scripts\\Intro.txt", "text\\MEN\xC3\xBC.LOC", "text\\men\xC3\x9C.loc",
        "",                  "a",                  "A ",                    "missing",
    };
    std::vector<std::string> tags;
    for (const char* path : {"SCRIPTS\\intro.txt", "", "a", "missing"}) tags.push_back(TagToText(PathHashTag(path)));
    tags.push_back("");
    tags.push_back("not a tag");

    for (const bool byTag : {false, true}) {
        const TEntryIndex index(lines, kPrefixLength, 0, byTag);
        std::vector<std::string> names = paths;
        names.insert(names.end(), tags.begin(), tags.end());
        for (const std::string& name : names) {
            EXPECT_EQ(index.Find(name), FindEntry(lines, name, byTag, kPrefixLength, 0))
                << (byTag ? "by tag: " : "by path: ") << name;
        }
    }
    const TEntryIndex byPath(lines, kPrefixLength, 0, false);
    EXPECT_EQ(byPath.Find("scripts/intro.txt"), 0);
    EXPECT_EQ(byPath.Find("a"), 4);
    EXPECT_EQ(byPath.Find(""), -1);
    const TEntryIndex byTag(lines, kPrefixLength, 0, true);
    EXPECT_EQ(byTag.Find(TagToText(PathHashTag("Scripts/Intro.TXT"))), 0);
    EXPECT_EQ(byTag.Find(""), 3);
    EXPECT_EQ(TEntryIndex().Find("a"), -1);
}
