#include <gtest/gtest.h>

#include "support/number_text.h"

TEST(HexText, HexByteAndHexLongAreUpperCaseAndZeroPadded) {
    EXPECT_EQ(HexByte(0x7E), "7E");
    EXPECT_EQ(HexByte(0), "00");
    EXPECT_EQ(HexLong(0x1A2B), "00001A2B");
    EXPECT_EQ(HexLong(-1), "FFFFFFFF");
    const uint8_t bytes[] = {0x01, 0xAB, 0xFF};
    EXPECT_EQ(HexOfBytes(bytes, 3), "01ABFF");
    EXPECT_EQ(HexOfBytes(bytes, -1), "");
}

TEST(HexText, HexToIntCountsNonDigitsAsZeroAndShiftsOutHighDigits) {
    EXPECT_EQ(HexToInt(""), 0);
    EXPECT_EQ(HexToInt("ff"), 255);
    EXPECT_EQ(HexToInt("1G"), 16);
    EXPECT_EQ(HexToInt("123456789"), HexToInt("23456789"));
    EXPECT_EQ(HexToInt("FFFFFFFF"), -1);
}

TEST(HexText, HexLongReadsBackThroughHexToInt) {
    for (int32_t v : {0, 1, -1, 0x7FFFFFFF, static_cast<int32_t>(0x80000000), 0x0BADF00D})
        EXPECT_EQ(HexToInt(HexLong(v)), v);
}

TEST(GroupThousandsText, PutsACommaBetweenGroupsOfThree) {
    EXPECT_EQ(GroupThousands(0), "0");
    EXPECT_EQ(GroupThousands(100), "100");
    EXPECT_EQ(GroupThousands(999), "999");
    EXPECT_EQ(GroupThousands(1000), "1,000");
    EXPECT_EQ(GroupThousands(1000000), "1,000,000");
    EXPECT_EQ(GroupThousands(-999), "-999");
    EXPECT_EQ(GroupThousands(-1234567), "-1,234,567");
    EXPECT_EQ(GroupThousands(-2147483647 - 1), "-2,147,483,648");
}

TEST(CharacterRoutines, LastCharPosCountsFromOne) {
    EXPECT_EQ(LastCharPos("a.b.c", '.'), 4u);
    EXPECT_EQ(LastCharPos("", '.'), 0u);
    EXPECT_EQ(LastCharPos("abc", '.'), 0u);
}

TEST(CharacterRoutines, LowerAsciiFoldsOnlyAsciiLetters) {
    EXPECT_EQ(LowerAscii("ABC_Def.LOC"), "abc_def.loc");
    EXPECT_EQ(LowerAscii("\xC4\xD6Z"), "\xC4\xD6z");
}

TEST(CharacterRoutines, SlashesToBackslashesChangesOnlySlashes) {
    std::string text = "a/b\\c/";
    SlashesToBackslashes(text);
    EXPECT_EQ(text, "a\\b\\c\\");
}
