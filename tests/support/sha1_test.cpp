#include "support/sha1.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Hex(const TSha1Digest& digest) {
    static const char* digits = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 15]);
    }
    return text;
}

struct KnownDigest {
    std::string message;
    std::string digest;
};

// The test vectors of FIPS 180-1 and RFC 3174, and the empty message.
const std::vector<KnownDigest> kKnownDigests = {
    {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
};

}  // namespace

TEST(Sha1, GivesTheStandardDigestsOfTheTestVectors) {
    for (const KnownDigest& known : kKnownDigests)
        EXPECT_EQ(Hex(Sha1Digest(known.message.data(), known.message.size())), known.digest)
            << known.message.size() << " bytes";
}

TEST(Sha1, AStreamFedInPiecesGivesTheDigestOfTheWhole) {
    for (const KnownDigest& known : kKnownDigests) {
        TSha1Stream stream;
        for (size_t at = 0; at < known.message.size(); at += 7)
            stream.Update(known.message.data() + at, std::min<size_t>(7, known.message.size() - at));
        EXPECT_EQ(Hex(stream.Digest()), known.digest) << known.message.size() << " bytes";
    }
}

TEST(Sha1, ADigestTakenMidwayLetsTheFeedingGoOn) {
    const std::string message = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    TSha1Stream stream;
    stream.Update(message.data(), 3);
    EXPECT_EQ(Hex(stream.Digest()), "a9993e364706816aba3e25717850c26c9cd0d89d");
    stream.Update(message.data() + 3, message.size() - 3);
    EXPECT_EQ(Hex(stream.Digest()), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
}
