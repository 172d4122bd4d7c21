#include <gtest/gtest.h>

#include "support/bytes.h"
#include "support/paths.h"

TEST(ByteOrder, SwapInt32ReversesTheFourBytes) {
    EXPECT_EQ(SwapInt32(0x01020304), 0x04030201);
    EXPECT_EQ(SwapInt32(0x000000FF), static_cast<int32_t>(0xFF000000u));
    EXPECT_EQ(SwapInt32(static_cast<int32_t>(0x80000000u)), 0x00000080);
}

TEST(ByteOrder, SwapInt32LeavesAValueOfFourEqualBytesUnchanged) {
    EXPECT_EQ(SwapInt32(0x5A5A5A5A), 0x5A5A5A5A);
    EXPECT_EQ(SwapInt32(-1), -1);
    EXPECT_EQ(SwapInt32(0), 0);
}

TEST(ByteOrder, SwapInt32TwiceGivesTheValueBack) {
    for (int32_t v : {1, -2, 0x12345678, 0x7FFFFFFF, static_cast<int32_t>(0xDEADBEEFu)})
        EXPECT_EQ(SwapInt32(SwapInt32(v)), v);
}

TEST(ByteOrder, FromArchiveOrderSwapsOnlyForTheBigEndianFlavour) {
    EXPECT_EQ(FromArchiveOrder(false, 0x01020304), 0x01020304);
    EXPECT_EQ(FromArchiveOrder(true, 0x01020304), 0x04030201);
    EXPECT_EQ(FromArchiveOrder(false, -5), -5);
}

TEST(ByteOrder, BigEndianBytesReadThroughFromArchiveOrderGiveTheValue) {
    const TArrayOfByte bigEndian = {0x00, 0x00, 0x01, 0x2C};  // 300
    EXPECT_EQ(FromArchiveOrder(true, ReadInt32At(bigEndian, 0)), 300);
    const TArrayOfByte littleEndian = {0x2C, 0x01, 0x00, 0x00};
    EXPECT_EQ(FromArchiveOrder(false, ReadInt32At(littleEndian, 0)), 300);
}

TEST(ByteOrder, WriteInt32AtStoresLeastSignificantByteFirst) {
    TArrayOfByte buffer(6, 0xEE);
    WriteInt32At(buffer, 1, 0x0A0B0C0D);
    EXPECT_EQ(buffer, (TArrayOfByte{0xEE, 0x0D, 0x0C, 0x0B, 0x0A, 0xEE}));
    EXPECT_EQ(ReadInt32At(buffer, 1), 0x0A0B0C0D);
}

TEST(AppendBytesRoutine, AppendsAtTheEndKeepingTheContent) {
    TArrayOfByte buffer = {1, 2};
    const uint8_t more[] = {3, 4, 5};
    AppendBytes(more, 3, buffer);
    EXPECT_EQ(buffer, (TArrayOfByte{1, 2, 3, 4, 5}));
}

TEST(AppendBytesRoutine, ZeroOrNegativeCountChangesNothing) {
    TArrayOfByte buffer = {9, 8, 7};
    const uint8_t more[] = {1, 2, 3, 4, 5};
    AppendBytes(more, 0, buffer);
    EXPECT_EQ(buffer, (TArrayOfByte{9, 8, 7}));
    AppendBytes(more, -5, buffer);
    EXPECT_EQ(buffer, (TArrayOfByte{9, 8, 7}));
}

TEST(AppendToBuffers, AppendInt32OfOneAppends01000000) {
    TArrayOfByte buffer = {0xAA};
    AppendInt32(1, buffer);
    EXPECT_EQ(buffer, (TArrayOfByte{0xAA, 0x01, 0x00, 0x00, 0x00}));
    AppendInt32(-2, buffer);
    EXPECT_EQ(buffer, (TArrayOfByte{0xAA, 0x01, 0x00, 0x00, 0x00, 0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(AppendToBuffers, AppendInt32OfAnArchiveOrderedValueGivesBigEndianBytes) {
    TArrayOfByte buffer;
    AppendInt32(FromArchiveOrder(true, 0x01020304), buffer);
    EXPECT_EQ(buffer, (TArrayOfByte{0x01, 0x02, 0x03, 0x04}));
}

TEST(AppendToBuffers, TextIsAppendedWithoutTerminatorAndEmptyTextChangesNothing) {
    TArrayOfByte bytes = {'x'};
    AppendTextToBytes("", bytes);
    EXPECT_EQ(bytes, (TArrayOfByte{'x'}));
    AppendTextToBytes(std::string("a\0b", 3), bytes);
    EXPECT_EQ(bytes, (TArrayOfByte{'x', 'a', 0, 'b'}));

    TArrayOfChar chars = {'q'};
    AppendTextToChars("", chars);
    EXPECT_EQ(chars, (TArrayOfChar{'q'}));
    AppendTextToChars("rs", chars);
    EXPECT_EQ(chars, (TArrayOfChar{'q', 'r', 's'}));
}

TEST(LittleEndian, FieldsOfEveryWidthRoundTrip) {
    uint8_t at[8] = {};
    PutLittleEndian(at, 0x0102030405060708u, 8);
    EXPECT_EQ(at[0], 0x08);
    EXPECT_EQ(at[7], 0x01);
    EXPECT_EQ(GetLittleEndian(at, 8), 0x0102030405060708u);
    PutLittleEndian(at, 0xFFFFFFFFu, 4);
    EXPECT_EQ(GetLittleEndian(at, 4), 0xFFFFFFFFu);
    EXPECT_EQ(GetLittleEndian(at, 1), 0xFFu);
}
