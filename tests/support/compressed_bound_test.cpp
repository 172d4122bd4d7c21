#include <gtest/gtest.h>

#include <initializer_list>
#include <random>

#include "support/zlib_adapter.h"

TEST(CompressedSizeBound, NoContentCompressesToMoreThanTheBound) {
    std::mt19937 random(9);
    for (size_t size : {size_t{0}, size_t{1}, size_t{255}, size_t{16384}, size_t{100000}, size_t{1} << 20}) {
        TArrayOfByte noise(size);
        for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
        const TArrayOfByte zeros(size, 0);
        for (const TArrayOfByte* content : std::initializer_list<const TArrayOfByte*>{&noise, &zeros}) {
            const TArrayOfByte stream = CompressBytes(content->data(), BufferLength(*content));
            EXPECT_LE(static_cast<int64_t>(stream.size()), CompressedSizeBound(static_cast<int64_t>(size))) << size;
        }
        // Noise does not compress: the bound is close to what it really takes.
        if (size >= 16384) {
            const TArrayOfByte stream = CompressBytes(noise.data(), BufferLength(noise));
            EXPECT_LE(CompressedSizeBound(static_cast<int64_t>(size)) - static_cast<int64_t>(stream.size()),
                      static_cast<int64_t>(size / 1000 + 64));
        }
    }
}
