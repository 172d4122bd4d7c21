#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/collation.h"

TEST(Collation, LetterCaseIsIgnored) {
    EXPECT_EQ(CompareTextNoCase("Data", "dATA"), 0);
    EXPECT_EQ(CompareTextNoCase("", ""), 0);
}

TEST(Collation, NamesAreOrderedAlphabeticallyNotByCodePoint) {
    // By bytes "B" (0x42) sorts before "a" (0x61); alphabetically "a" comes first.
    EXPECT_LT(CompareTextNoCase("a", "B"), 0);
    EXPECT_GT(CompareTextNoCase("B", "a"), 0);
    EXPECT_LT(CompareTextNoCase("Apple", "banana"), 0);
}

TEST(Collation, APrefixSortsBeforeItsExtensions) {
    EXPECT_LT(CompareTextNoCase("a\\", "a\\b\\"), 0);
    EXPECT_LT(CompareTextNoCase("data", "database"), 0);
}

TEST(Collation, CollationLessBreaksTiesByBytes) {
    EXPECT_TRUE(CollationLess("ABC", "abc"));
    EXPECT_FALSE(CollationLess("abc", "ABC"));
    EXPECT_FALSE(CollationLess("abc", "abc"));
    EXPECT_TRUE(CollationLess("b", "C"));
}

TEST(Collation, SortingGivesOneOrderWhateverTheInputOrder) {
    std::vector<std::string> names = {"b", "A", "a", "C", "B", "c"};
    std::vector<std::string> reversed(names.rbegin(), names.rend());
    std::sort(names.begin(), names.end(), CollationLess);
    std::sort(reversed.begin(), reversed.end(), CollationLess);
    EXPECT_EQ(names, reversed);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "a", "B", "b", "C", "c"}));
}

TEST(Collation, SingleByteCodePageLettersStayDistinct) {
    // Latin-1 bytes are no UTF-8; they must not all collapse into one replacement character.
    EXPECT_NE(CompareTextNoCase("caf\xE9", "caf\xE8"), 0);
    EXPECT_NE(CompareTextNoCase("\xFF", "\xFE"), 0);
    EXPECT_LT(CompareTextNoCase("Men\xE4", "Men\xFC"), 0);  // ä before ü
}

TEST(Collation, SingleByteCodePageLettersIgnoreCaseToo) {
    EXPECT_EQ(CompareTextNoCase("CAF\xC9", "caf\xE9"), 0);  // É and é
    EXPECT_EQ(CompareTextNoCase("caf\xC3\xA9", "CAF\xC3\x89"), 0);  // the same in UTF-8
}

TEST(Collation, SortingMixedEncodingsGivesOneOrder) {
    std::vector<std::string> names = {"b", "\xE9t\xE9", "a", "\xC3\xA9t\xC3\xA9", "z", "E", "\xFF"};
    std::vector<std::string> reversed(names.rbegin(), names.rend());
    std::sort(names.begin(), names.end(), CollationLess);
    std::sort(reversed.begin(), reversed.end(), CollationLess);
    EXPECT_EQ(names, reversed);
    EXPECT_EQ(names.front(), "a");
}
