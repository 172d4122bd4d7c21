#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "helpers/allocation_probe.h"
#include "helpers/random_bytes.h"
#include "support/errors.h"
#include "support/fast_inflate.h"
#include "support/zlib_adapter.h"

namespace {

// Text-like data: compresses, but not to nothing, so streams have some length.
TArrayOfByte TextBytes(size_t count) {
    static const std::string words[] = {"veldane ", "archive ", "folder ", "stream ", "zorvel ", "\r\n"};
    std::mt19937 random(7);
    TArrayOfByte bytes;
    while (bytes.size() < count) {
        const std::string& w = words[random() % 6];
        bytes.insert(bytes.end(), w.begin(), w.end());
    }
    bytes.resize(count);
    return bytes;
}

TArrayOfByte Compress(const TArrayOfByte& data) {
    return CompressBytes(data.data(), static_cast<int32_t>(data.size()));
}

TArrayOfByte Streamed(const TArrayOfByte& stream, int64_t limit = std::numeric_limits<int32_t>::max()) {
    TArrayOfByte out = {0xEE, 0xEE};  // DecompressToBuffer empties its output first
    DecompressToBuffer(stream.data(), static_cast<int32_t>(stream.size()), out, limit);
    return out;
}

// The stream inflated as extraction inflates an entry: whole, to the size recorded for it.
TArrayOfByte Whole(const TArrayOfByte& stream, int32_t recordedSize) {
    TArrayOfByte out;
    EXPECT_EQ(InflateExactSize(stream.data(), BufferLength(stream), recordedSize, out), TInflateOutcome::Exact);
    return out;
}

}  // namespace

TEST(CompressBytesRoutine, EmptyInputGivesAShortLevel9Stream) {
    const TArrayOfByte stream = CompressBytes(nullptr, 0);
    ASSERT_GE(stream.size(), 2u);
    EXPECT_EQ(stream[0], 0x78);
    EXPECT_EQ(stream[1], 0xDA);
    EXPECT_EQ(stream.size(), 8u);  // header, an empty final block, the Adler-32 of nothing
}

TEST(CompressBytesRoutine, EmptyStreamDecompressesToNothingBothWays) {
    const TArrayOfByte stream = CompressBytes(nullptr, 0);
    EXPECT_TRUE(Streamed(stream).empty());
    EXPECT_TRUE(Whole(stream, 0).empty());
}

TEST(CompressBytesRoutine, RoundTripsTextAndIncompressibleData) {
    for (const TArrayOfByte& data : {TextBytes(100000), RandomBytes(70000, 1), RandomBytes(1, 2)}) {
        const TArrayOfByte stream = Compress(data);
        EXPECT_EQ(stream[0], 0x78);
        EXPECT_EQ(stream[1], 0xDA);
        EXPECT_EQ(Whole(stream, static_cast<int32_t>(data.size())), data);
        EXPECT_EQ(Streamed(stream), data);
    }
}

TEST(CompressBytesRoutine, FiveBytesGiveAThirteenByteStream) {
    const TArrayOfByte stream = Compress(TArrayOfByte{'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(stream.size(), 13u);
}

// The input divided as an archive's directory is fed while it is built: the stream is
// CompressBytes's stream of the whole, byte for byte.
TEST(StreamCompressor, GivesCompressBytesStreamHoweverTheInputIsDivided) {
    const TArrayOfByte text = TextBytes(3000000);
    const TArrayOfByte random = RandomBytes(300000, 3);
    struct Case {
        const TArrayOfByte* data;
        std::vector<size_t> cuts;  // where one piece ends and the next begins
    };
    const Case cases[] = {
        {&text, {}},
        {&text, {1}},
        {&text, {65536, 65537, 1500000}},
        {&text, {262, 263, 32767, 32768, 32769, 2999999}},
        {&random, {100, 200000}},
        {&random, {299999}},
    };
    for (const Case& c : cases) {
        TStreamCompressor compressor;
        size_t from = 0;
        std::vector<size_t> ends = c.cuts;
        ends.push_back(c.data->size());
        for (size_t end : ends) {
            compressor.Add(c.data->data() + from, static_cast<int64_t>(end - from));
            from = end;
        }
        EXPECT_EQ(compressor.Finish(), Compress(*c.data)) << c.cuts.size() << " cuts";
    }
}

// What a build does when the directory it compressed ahead turns out to differ from some
// point on: back to a mark before that point, and on with the real bytes.
TEST(StreamCompressor, ReturningToAMarkForgetsWhatWasAddedAfterIt) {
    const TArrayOfByte text = TextBytes(1000000);
    TArrayOfByte other = text;
    for (size_t k = 400000; k < other.size(); k += 7) other[k] = 'x';
    struct Case {
        size_t mark;     // where the mark is taken
        size_t wrongTo;  // the other bytes added after it, up to here
    };
    for (const Case c : {Case{0, 1000000}, Case{131072, 400001}, Case{393216, 1000000}, Case{400000, 400000},
                         Case{1000000, 1000000}}) {
        TStreamCompressor compressor;
        compressor.Add(text.data(), static_cast<int64_t>(c.mark));
        TStreamCompressor::TMark mark = compressor.Mark();
        compressor.Add(other.data() + c.mark, static_cast<int64_t>(c.wrongTo - c.mark));
        compressor.ReturnTo(mark);
        compressor.Add(text.data() + c.mark, static_cast<int64_t>(text.size() - c.mark));
        EXPECT_EQ(compressor.Finish(), Compress(text)) << "mark at " << c.mark;
    }
}

TEST(StreamCompressor, NothingAddedGivesTheEmptyStream) {
    TStreamCompressor compressor;
    compressor.Add(nullptr, 0);
    EXPECT_EQ(compressor.Finish(), CompressBytes(nullptr, 0));
}

TEST(HasZlibHeaderCheck, AcceptsOnlyLevel9AndDefaultHeaders) {
    EXPECT_TRUE(HasZlibHeader(TArrayOfByte{0x78, 0xDA}));
    EXPECT_TRUE(HasZlibHeader(TArrayOfByte{0x78, 0x9C, 0x00}));
    EXPECT_FALSE(HasZlibHeader(TArrayOfByte{0x78, 0x01, 0x00}));
    EXPECT_FALSE(HasZlibHeader(TArrayOfByte{0x78, 0x5E}));
    EXPECT_FALSE(HasZlibHeader(TArrayOfByte{0x58, 0x85}));  // a valid header with a smaller window
    EXPECT_FALSE(HasZlibHeader(TArrayOfByte{0xDA, 0x78}));
}

TEST(HasZlibHeaderCheck, BuffersShorterThanTwoBytesAreRefused) {
    EXPECT_FALSE(HasZlibHeader(TArrayOfByte{}));
    EXPECT_FALSE(HasZlibHeader(TArrayOfByte{0x78}));
}

TEST(BeginsAsZlibStreamCheck, AcceptsEveryDeflateHeaderWithoutDictionaryAndRightCheckBits) {
    struct Case {
        TArrayOfByte bytes;
        bool begins;
    };
    const Case cases[] = {
        {{0x78, 0xDA}, true},        // level 9
        {{0x78, 0x9C}, true},        // the default level
        {{0x78, 0x01}, true},        // level 0 or 1
        {{0x78, 0x5E}, true},        // levels 2 to 5
        {{0x58, 0x85}, true},        // a smaller window
        {{0x08, 0x1D}, true},        // the smallest window
        {{0x78, 0xDA, 0xFF}, true},  // what follows the header is not looked at
        {{0x88, 0x98}, false},       // a window larger than 32 KiB (CMF 0x88 with right check bits)
        {{0x79, 0x9C}, false},       // no deflate method
        {{0x78, 0xBB}, false},       // a preset dictionary (check bits right)
        {{0x78, 0xDB}, false},       // check bits wrong
        {{0xDA, 0x78}, false},
        {{0x78}, false},             // too short for a header
        {{}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BeginsAsZlibStream(c.bytes.data(), static_cast<int64_t>(c.bytes.size())), c.begins)
            << std::hex << (c.bytes.empty() ? -1 : int{c.bytes[0]}) << " " << (c.bytes.size() < 2 ? -1 : int{c.bytes[1]});
    }
}

TEST(DecompressToBufferRoutine, ExactMultiplesOf1024ComeBackWhole) {
    for (size_t size : {size_t{1024}, size_t{4096}, size_t{65536}}) {
        const TArrayOfByte data = TextBytes(size);
        EXPECT_EQ(Streamed(Compress(data)), data) << size;
    }
}

TEST(DecompressToBufferRoutine, LengthsAroundTheChunkSizeComeBackWhole) {
    for (size_t size : {size_t{1}, size_t{1023}, size_t{1025}, size_t{2047}, size_t{2049}}) {
        const TArrayOfByte data = RandomBytes(size, static_cast<uint32_t>(size));
        EXPECT_EQ(Streamed(Compress(data)), data) << size;
    }
}

TEST(DecompressToBufferRoutine, InputLongerThanOneSourceBlockIsReadWhole) {
    const TArrayOfByte data = RandomBytes(300000, 3);  // its stream spans several 64 KiB blocks
    const TArrayOfByte stream = Compress(data);
    ASSERT_GT(stream.size(), 3u * 65536u);
    EXPECT_EQ(Streamed(stream), data);
}

TEST(DecompressToBufferRoutine, StopsSoonAfterTheLimit) {
    const TArrayOfByte data = TextBytes(100000);
    const TArrayOfByte out = Streamed(Compress(data), 3000);
    EXPECT_GT(out.size(), 3000u);
    EXPECT_LE(out.size(), 3000u + 1024u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
}

TEST(DecompressToBufferRoutine, LimitAtTheExactSizeReturnsEverything) {
    const TArrayOfByte data = TextBytes(5000);
    EXPECT_EQ(Streamed(Compress(data), 5000), data);
}

TEST(DecompressToBufferRoutine, TruncatedInputGivesThePartialDataWithoutError) {
    const TArrayOfByte data = RandomBytes(20000, 4);
    TArrayOfByte stream = Compress(data);
    stream.resize(stream.size() / 2);
    TArrayOfByte out;
    ASSERT_NO_THROW(out = Streamed(stream));
    EXPECT_GT(out.size(), 0u);
    EXPECT_LT(out.size(), data.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
}

TEST(DecompressToBufferRoutine, StreamCutBeforeItsTrailerGivesAllDataWithoutError) {
    const TArrayOfByte data = TextBytes(3000);
    TArrayOfByte stream = Compress(data);
    stream.resize(stream.size() - 4);  // the Adler-32 is missing
    EXPECT_EQ(Streamed(stream), data);
}

TEST(DecompressToBufferRoutine, BytesAfterTheStreamAreIgnored) {
    const TArrayOfByte data = TextBytes(2000);
    TArrayOfByte stream = Compress(data);
    stream.insert(stream.end(), 5000, 0xFF);
    EXPECT_EQ(Streamed(stream), data);
}

TEST(DecompressToBufferRoutine, EmptyInputGivesNothing) {
    TArrayOfByte out = {1};
    DecompressToBuffer(nullptr, 0, out);
    EXPECT_TRUE(out.empty());
}

TEST(DecompressToBufferRoutine, CorruptDataRaisesDecompressionError) {
    const TArrayOfByte garbage = {0x78, 0xDA, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x11};
    TArrayOfByte out;
    EXPECT_THROW(DecompressToBuffer(garbage.data(), static_cast<int32_t>(garbage.size()), out), EDecompressionError);
}

TEST(DecompressToBufferRoutine, BadHeaderRaisesDecompressionError) {
    const TArrayOfByte notZlib = {'P', 'K', 0x03, 0x04, 0x14, 0x00};
    TArrayOfByte out;
    EXPECT_THROW(DecompressToBuffer(notZlib.data(), static_cast<int32_t>(notZlib.size()), out), EDecompressionError);
}

// Both inflaters: the directory's (zlib, streamed) and the entries' (whole, to the size
// recorded).
TEST(ZlibErrors, ADecompressionErrorSaysError) {
    const TArrayOfByte garbage = {0x78, 0xDA, 0xFF};
    TArrayOfByte out;
    try {
        DecompressToBuffer(garbage.data(), BufferLength(garbage), out);
        ADD_FAILURE() << "no error raised";
    } catch (const EZlibError& error) {
        EXPECT_STREQ(error.what(), "Error");
    }
    try {
        InflateExactSize(garbage.data(), BufferLength(garbage), 10, out);
        ADD_FAILURE() << "no error raised";
    } catch (const EZlibError& error) {
        EXPECT_STREQ(error.what(), "Error");
    }
}

TEST(MaxInflatedSizeBound, CoversDeflatesBestRatio) {
    const TArrayOfByte data(10'000'000, 0);
    const TArrayOfByte stream = Compress(data);
    EXPECT_GE(MaxInflatedSize(static_cast<int64_t>(stream.size())), static_cast<int64_t>(data.size()));
    EXPECT_EQ(Whole(stream, static_cast<int32_t>(data.size())), data);
}
