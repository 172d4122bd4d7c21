#include <gtest/gtest.h>

#include "support/collation.h"

// Linux sorts with ICU, where punctuation weighs less than digits and letters, in CLDR's
// order: '_' before '-' before '.' (Windows' own comparison differs: see
// windows/collation_word_sort_test.cpp).
TEST(CollationIcu, PunctuationSortsBeforeLettersInCldrOrder) {
    EXPECT_LT(CompareTextNoCase("a-b", "aa"), 0);
    EXPECT_LT(CompareTextNoCase("co-op", "coo"), 0);
    EXPECT_LT(CompareTextNoCase("data_1.pak", "data.bin"), 0);
    EXPECT_LT(CompareTextNoCase("a_b", "a-b"), 0);
}
