#include <gtest/gtest.h>

#include "support/collation.h"

// Windows sorts with CompareStringEx's word sort, as the archives' original builder did:
// '-' and '\'' weigh less than any letter, so a hyphenated word sorts beside its unhyphenated
// twin, and '.' comes before '_'. Linux's ICU order differs here (support/collation_icu_test.cpp).
TEST(CollationWordSort, HyphenAndApostropheSortBesideTheWordWithoutThem) {
    EXPECT_LT(CompareTextNoCase("coop", "co-op"), 0);
    EXPECT_LT(CompareTextNoCase("co-op", "cop"), 0);
    EXPECT_LT(CompareTextNoCase("aa", "a-b"), 0);
    EXPECT_LT(CompareTextNoCase("ab", "a'b"), 0);
}

TEST(CollationWordSort, DotSortsBeforeUnderscore) {
    EXPECT_LT(CompareTextNoCase("data.bin", "data_1.pak"), 0);
    EXPECT_LT(CompareTextNoCase("a.b", "a_b"), 0);
}
