#include "support/crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(Crc32, GivesTheStandardCheckValue) {
    const char* text = "123456789";
    EXPECT_EQ(Crc32(0, text, std::strlen(text)), 0xCBF43926u);
}

TEST(Crc32, ContinuesAcrossPiecesAsOverTheWhole) {
    std::vector<uint8_t> bytes(100000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + (i >> 7));
    const uint32_t whole = Crc32(0, bytes.data(), bytes.size());
    uint32_t pieces = 0;
    for (size_t at = 0; at < bytes.size(); at += 7919)
        pieces = Crc32(pieces, bytes.data() + at, std::min<size_t>(7919, bytes.size() - at));
    EXPECT_EQ(pieces, whole);
    EXPECT_NE(whole, Crc32(0, bytes.data(), bytes.size() - 1));
}
