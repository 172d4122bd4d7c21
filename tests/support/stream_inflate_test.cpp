#include "support/stream_inflate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/zlib_adapter.h"

namespace {

struct Inflated {
    TStreamInflation result;
    std::string content;
};

// Inflates packed, drawn in blocks of at most drawSize bytes.
Inflated InflateBytes(const TArrayOfByte& packed, int64_t limit, int64_t drawSize = 1 << 20) {
    Inflated inflated;
    size_t at = 0;
    const TByteSource source = [&](uint8_t* buffer, int64_t capacity) {
        const size_t n = std::min<size_t>({static_cast<size_t>(capacity), static_cast<size_t>(drawSize), packed.size() - at});
        std::copy_n(packed.begin() + static_cast<long>(at), n, buffer);
        at += n;
        return static_cast<int64_t>(n);
    };
    inflated.result = InflateStream(
        source, [&](const uint8_t* data, int64_t count) { inflated.content.append(reinterpret_cast<const char*>(data), count); },
        limit);
    return inflated;
}

TArrayOfByte Packed(const std::string& text) { return CompressBytes(text.data(), static_cast<int32_t>(text.size())); }

const std::string kText(200000, 'v');

}  // namespace

TEST(StreamInflate, ACompleteStreamGivesItsContentAndWhereItEnded) {
    const TArrayOfByte packed = Packed(kText);
    const Inflated inflated = InflateBytes(packed, 1 << 30, 7);
    EXPECT_EQ(inflated.result.end, TStreamEnd::Complete);
    EXPECT_EQ(inflated.content, kText);
    EXPECT_EQ(inflated.result.produced, static_cast<int64_t>(kText.size()));
    EXPECT_EQ(inflated.result.consumed, static_cast<int64_t>(packed.size()));
}

TEST(StreamInflate, BytesBehindTheEndAreNotCountedAsConsumed) {
    TArrayOfByte packed = Packed("abc");
    const int64_t streamSize = static_cast<int64_t>(packed.size());
    packed.insert(packed.end(), {1, 2, 3});
    const Inflated inflated = InflateBytes(packed, 100);
    EXPECT_EQ(inflated.result.end, TStreamEnd::Complete);
    EXPECT_EQ(inflated.result.consumed, streamSize);
}

TEST(StreamInflate, ContentPastTheLimitIsNeverHandedOver) {
    const Inflated inflated = InflateBytes(Packed(kText), 1000);
    EXPECT_EQ(inflated.result.end, TStreamEnd::OverLimit);
    EXPECT_EQ(inflated.content, kText.substr(0, 1000));
    EXPECT_EQ(inflated.result.produced, 1000);
}

TEST(StreamInflate, AStreamWithoutItsEndIsCutShort) {
    TArrayOfByte packed = Packed(kText);
    packed.resize(packed.size() - 4);  // the checksum
    EXPECT_EQ(InflateBytes(packed, 1 << 30).result.end, TStreamEnd::CutShort);
}

TEST(StreamInflate, BytesThatAreNoStreamAreDamaged) {
    const Inflated inflated = InflateBytes({0x12, 0x34, 0x56, 0x78}, 100);
    EXPECT_EQ(inflated.result.end, TStreamEnd::Damaged);
    EXPECT_EQ(inflated.result.produced, 0);
}
