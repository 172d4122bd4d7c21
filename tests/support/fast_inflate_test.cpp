#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/errors.h"
#include "support/fast_inflate.h"
#include "support/zlib_adapter.h"

namespace {

TArrayOfByte Compress(const TArrayOfByte& content) { return CompressBytes(content.data(), BufferLength(content)); }

// Text-like data: runs and repeats that deflate finds, with some noise.
TArrayOfByte MixedContent(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    TArrayOfByte content;
    content.reserve(size);
    while (content.size() < size) {
        if (random() % 4 == 0 && content.size() > 64) {
            const size_t from = random() % (content.size() - 32);
            const size_t length = 3 + random() % 29;
            for (size_t k = 0; k < length && content.size() < size; ++k) content.push_back(content[from + k]);
        } else {
            content.push_back(static_cast<uint8_t>('a' + random() % 26));
        }
    }
    return content;
}

TInflateOutcome Inflate(const TArrayOfByte& stream, int32_t expectedSize, TArrayOfByte& output) {
    return InflateExactSize(stream.data(), BufferLength(stream), expectedSize, output);
}

}  // namespace

TEST(InflateExactSize, GivesTheBytesZlibGivesForContentsOfEveryKind) {
    std::mt19937 random(7);
    std::vector<TArrayOfByte> contents{{}, {0x41}, TArrayOfByte(1 << 20, 0), MixedContent(300000, 1)};
    TArrayOfByte noise(200000);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    contents.push_back(noise);
    for (const TArrayOfByte& content : contents) {
        const TArrayOfByte stream = Compress(content);
        TArrayOfByte output;
        ASSERT_EQ(Inflate(stream, BufferLength(content), output), TInflateOutcome::Exact);
        EXPECT_EQ(output, content);
        TArrayOfByte zlibOutput;
        DecompressToBuffer(stream.data(), BufferLength(stream), zlibOutput);
        EXPECT_EQ(output, zlibOutput);
    }
}

TEST(InflateExactSize, AStreamOfAnotherSizeThanRecordedIsOtherSizeWithEmptyOutput) {
    const TArrayOfByte content = MixedContent(5000, 2);
    const TArrayOfByte stream = Compress(content);
    for (int32_t recorded : {4999, 5001, 0, 1}) {
        TArrayOfByte output{1, 2, 3};
        EXPECT_EQ(Inflate(stream, recorded, output), TInflateOutcome::OtherSize) << recorded;
        EXPECT_TRUE(output.empty());
    }
    TArrayOfByte output;
    EXPECT_EQ(Inflate(Compress({}), 1, output), TInflateOutcome::OtherSize);
}

TEST(InflateExactSize, ASizeTheStreamCannotProduceIsOtherSizeWithoutAllocating) {
    const TArrayOfByte stream = Compress(TArrayOfByte{'h', 'e', 'l', 'l', 'o'});
    for (int32_t recorded : {0x7FFFFFF0, -5, static_cast<int32_t>(MaxInflatedSize(BufferLength(stream)) + 1)}) {
        TArrayOfByte output;
        EXPECT_EQ(Inflate(stream, recorded, output), TInflateOutcome::OtherSize) << recorded;
        EXPECT_EQ(output.capacity(), 0u) << recorded;
    }
}

TEST(InflateExactSize, CorruptTruncatedOrWronglyCheckedStreamsRaise) {
    const TArrayOfByte content = MixedContent(20000, 3);
    const TArrayOfByte stream = Compress(content);
    TArrayOfByte output;

    TArrayOfByte corrupt = stream;
    for (size_t i = 2; i < corrupt.size(); ++i) corrupt[i] ^= 0x5A;
    EXPECT_THROW(Inflate(corrupt, BufferLength(content), output), EDecompressionError);

    const TArrayOfByte truncated(stream.begin(), stream.end() - 10);
    EXPECT_THROW(Inflate(truncated, BufferLength(content), output), EDecompressionError);

    // A wrong checksum is corruption, whatever size was recorded: the shorter stream's
    // checksum is verified too.
    TArrayOfByte badChecksum = stream;
    badChecksum.back() ^= 1;
    EXPECT_THROW(Inflate(badChecksum, BufferLength(content), output), EDecompressionError);
    EXPECT_THROW(Inflate(badChecksum, BufferLength(content) + 100, output), EDecompressionError);

    const TArrayOfByte notZlib{0x1F, 0x8B, 0x08, 0x00, 0x00};
    EXPECT_THROW(Inflate(notZlib, 5, output), EDecompressionError);
}

TEST(InflateExactSize, BytesAfterTheEndOfTheStreamAreIgnored) {
    const TArrayOfByte content = MixedContent(1000, 4);
    TArrayOfByte stream = Compress(content);
    stream.insert(stream.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    TArrayOfByte output;
    ASSERT_EQ(Inflate(stream, BufferLength(content), output), TInflateOutcome::Exact);
    EXPECT_EQ(output, content);
}

// Into a room that serves stream after stream: the outcome InflateExactSize gives, and on
// Exact the same bytes at the room's front, whatever the room held and however large it is.
TEST(InflateExactSizeIntoRoom, GivesWhatInflateExactSizeGivesInOneRoom) {
    const TArrayOfByte large = MixedContent(70000, 3);
    const TArrayOfByte small = MixedContent(900, 4);
    struct Case {
        const TArrayOfByte* content;
        int32_t recorded;
    };
    const TArrayOfByte none;
    TArrayOfByte room;
    for (const Case c : {Case{&small, 900}, Case{&large, 70000}, Case{&small, 900}, Case{&small, 901},
                         Case{&small, 899}, Case{&none, 0}, Case{&none, 1}, Case{&large, -1}}) {
        const TArrayOfByte stream = Compress(*c.content);
        TArrayOfByte whole;
        const TInflateOutcome expected = Inflate(stream, c.recorded, whole);
        EXPECT_EQ(InflateExactSizeIntoRoom(stream.data(), BufferLength(stream), c.recorded, room), expected)
            << c.recorded;
        if (expected == TInflateOutcome::Exact) {
            EXPECT_TRUE(std::equal(whole.begin(), whole.end(), room.begin())) << c.recorded;
        }
    }
    TArrayOfByte corrupt = Compress(large);
    corrupt.back() ^= 0xFF;  // the checksum
    EXPECT_THROW(InflateExactSizeIntoRoom(corrupt.data(), BufferLength(corrupt), 70000, room), EDecompressionError);
}
