#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/collation.h"

// The orders Linux's ICU collation and Windows' CompareStringEx agree on: names of letters and
// digits, differing in case or not; digits count one by one, not as numbers. Punctuation is where they part (collation_icu_test.cpp,
// windows/collation_word_sort_test.cpp).
TEST(CollationOrder, NamesOfLettersAndDigitsSortAlikeOnEveryPlatform) {
    const std::vector<std::string> expected = {"10", "1a", "2", "a", "A0b", "a1", "aa", "AB", "ab", "ac",
                                               "coo", "coop", "Cop", "data", "Data1", "database", "z"};
    std::vector<std::string> names(expected.rbegin(), expected.rend());
    std::sort(names.begin(), names.end(), CollationLess);
    EXPECT_EQ(names, expected);
}

TEST(CollationOrder, AFolderSortsBeforeWhatItHolds) {
    EXPECT_LT(CompareTextNoCase("maps\\", "maps\\a\\"), 0);
    EXPECT_LT(CompareTextNoCase("Maps\\", "maps\\z\\"), 0);
}
