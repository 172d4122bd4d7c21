#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "engine/format/internal/loc_convert.h"
#include "engine/format/loc_convert.h"
#include "helpers/allocation_probe.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"
#include "support/errors.h"

namespace {

const std::string kMarker("ZORVEL\0", 7);

void PutInt32(TArrayOfByte& buffer, uint32_t value, bool bigEndian) {
    for (int k = 0; k < 4; ++k) {
        const int shift = bigEndian ? 8 * (3 - k) : 8 * k;
        buffer.push_back(static_cast<uint8_t>(value >> shift));
    }
}

// A binary table from its parts, written independently of the code under test.
TArrayOfByte LocTable(const std::vector<uint32_t>& offsets, const std::string& chars, bool bigEndian = false,
                      int64_t count = -1) {
    TArrayOfByte table;
    PutInt32(table, static_cast<uint32_t>(count < 0 ? offsets.size() : count), bigEndian);
    for (uint32_t offset : offsets) PutInt32(table, offset, bigEndian);
    table.insert(table.end(), chars.begin(), chars.end());
    return table;
}

std::string Text(const TArrayOfByte& buffer) { return std::string(buffer.begin(), buffer.end()); }

std::string Unescaped(std::string text) {
    UnescapeLocText(text);
    return text;
}

std::string Escaped(std::string text) {
    EscapeLocText(text);
    return text;
}

// Converts text written to a file; fails the test when TextToLoc reports false.
TArrayOfByte LocFromText(const std::string& text, bool bigEndian = false) {
    TempDir dir;
    const std::string path = dir / "strings.loc";
    WriteFile(path, text);
    TArrayOfByte buffer;
    EXPECT_TRUE(TextToLoc(bigEndian, path, buffer));
    return buffer;
}

}  // namespace

TEST(LocToText, CountTwoExampleGivesOneLinePerString) {
    TArrayOfByte buffer = LocTable({0, 2}, std::string("A\0B\0", 4));
    ASSERT_TRUE(LocToText(false, buffer));
    EXPECT_EQ(Text(buffer), "A\r\nB\r\n");
}

TEST(TextToLoc, EachTextGivesTheTableOfItsLines) {
    const struct {
        const char* what;
        std::string text;
        TArrayOfByte table;
    } cases[] = {
        {"two lines: the marker, then strings at 7 and 9", "A\r\nB\r\n",
         LocTable({7, 9}, kMarker + std::string("A\0B\0", 4))},
        {"an empty file: the eleven-byte table", "", LocTable({}, kMarker)},
        {"a last line without a line end", "A\r\nB", LocTable({7, 9}, kMarker + std::string("A\0B\0", 4))},
        {"lines are not trimmed", "  a \t\r\n", LocTable({7}, kMarker + std::string("  a \t\0", 6))},
        {"a byte order mark is part of the first string", "\xEF\xBB\xBFhi\r\n",
         LocTable({7}, kMarker + std::string("\xEF\xBB\xBFhi\0", 6))},
    };
    for (const auto& c : cases) EXPECT_EQ(LocFromText(c.text), c.table) << c.what;
}

TEST(LocToText, CountZeroGivesEmptyText) {
    TArrayOfByte buffer = LocTable({}, "");
    ASSERT_TRUE(LocToText(false, buffer));
    EXPECT_TRUE(buffer.empty());
    TArrayOfByte withUnreachedBytes = LocTable({}, "junk");
    ASSERT_TRUE(LocToText(false, withUnreachedBytes));
    EXPECT_TRUE(withUnreachedBytes.empty());
}

TEST(LocToText, StringsEndAtNulOrAtTheEndOfTheArea) {
    TArrayOfByte buffer = LocTable({4, 0, 2, 1}, std::string("ab\0cd", 5));
    ASSERT_TRUE(LocToText(false, buffer));
    EXPECT_EQ(Text(buffer), "d\r\nab\r\n\r\nb\r\n");
}

TEST(LocToText, ReadsBigEndianTables) {
    TArrayOfByte buffer = LocTable({2, 0}, std::string("A\0B\0", 4), true);
    ASSERT_TRUE(LocToText(true, buffer));
    EXPECT_EQ(Text(buffer), "B\r\nA\r\n");
    // The same bytes read with the wrong order have a count of 2^25: the table does not fit.
    TArrayOfByte wrongOrder = LocTable({2, 0}, std::string("A\0B\0", 4), true);
    EXPECT_FALSE(LocToText(false, wrongOrder));
}

TEST(LocToText, FailsOnATableShorterThanFourBytes) {
    for (size_t n = 0; n < 4; ++n) {
        TArrayOfByte buffer(n, 0);
        EXPECT_FALSE(LocToText(false, buffer)) << n;
    }
}

TEST(LocToText, FailsOnANegativeCount) {
    TArrayOfByte buffer = LocTable({}, std::string(64, 'x'), false, 0xFFFFFFFF);
    EXPECT_FALSE(LocToText(false, buffer));
    TArrayOfByte mostNegative = LocTable({}, std::string(64, 'x'), true, 0x80000000);
    EXPECT_FALSE(LocToText(true, mostNegative));
}

TEST(LocToText, FailsWhenTheOffsetTableDoesNotFit) {
    // Count 2 but room for one offset and a few bytes.
    TArrayOfByte buffer = LocTable({0}, "abc", false, 2);
    EXPECT_FALSE(LocToText(false, buffer));
    // An offset table that ends exactly at the end of the data fits (empty character area).
    TArrayOfByte exact = LocTable({}, "", false, 0);
    EXPECT_TRUE(LocToText(false, exact));
}

TEST(LocToText, FailsOnACountWhoseTableWouldWrapThirtyTwoBits) {
    // 4 + 4 * 0x40000001 wraps to 8 in 32 bits, which these 12 bytes would seem to hold.
    TArrayOfByte buffer = LocTable({0}, "abcd", false, 0x40000001);
    EXPECT_FALSE(LocToText(false, buffer));
    TArrayOfByte bigEndian = LocTable({0}, "abcd", true, 0x40000001);
    EXPECT_FALSE(LocToText(true, bigEndian));
    TArrayOfByte largest = LocTable({0}, "abcd", false, 0x7FFFFFFF);
    EXPECT_FALSE(LocToText(false, largest));
}

TEST(LocToText, FailsOnAnOffsetOutsideTheCharacterAreaButConvertsTheOthers) {
    TArrayOfByte atEnd = LocTable({0, 4, 2}, std::string("A\0B\0", 4));
    EXPECT_FALSE(LocToText(false, atEnd));
    EXPECT_EQ(Text(atEnd), "A\r\nB\r\n");

    TArrayOfByte negative = LocTable({0xFFFFFFFF, 2}, std::string("A\0B\0", 4));
    EXPECT_FALSE(LocToText(false, negative));
    EXPECT_EQ(Text(negative), "B\r\n");

    TArrayOfByte far = LocTable({0x7FFFFFFF}, "A");
    EXPECT_FALSE(LocToText(false, far));

    TArrayOfByte emptyArea = LocTable({0}, "");
    EXPECT_FALSE(LocToText(false, emptyArea));
}

TEST(LocToText, OffsetsSharingOneLongStringFailFastWithoutALargeAllocation) {
    // 1,500 offsets at one 1 MiB string: 1.5 GB of text from a table of 1 MiB.
    TArrayOfByte buffer = LocTable(std::vector<uint32_t>(1500, 0), std::string(1 << 20, 'A') + '\0');
    ResetLargestAllocation();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(LocToText(false, buffer));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_LT(LargestAllocation(), kLargeAllocation);
}

TEST(LocToText, TextUpToTheBoundConvertsAndOneByteMoreFails) {
    // n = perTableByte + 1 offsets at one string of length L: the text n (L + 2) grows by one
    // byte per byte of L faster than the bound, and meets it exactly at this L.
    const int64_t perByte = kLocTextBound.perTableByte;
    const int64_t n = perByte + 1;
    const int64_t atBound = perByte * (5 + 4 * n) + kLocTextBound.allowance - 2 * n;
    for (const int64_t length : {atBound, atBound + 1}) {
        TArrayOfByte buffer = LocTable(std::vector<uint32_t>(static_cast<size_t>(n), 0),
                                       std::string(static_cast<size_t>(length), 'x') + '\0');
        const int64_t bound = perByte * static_cast<int64_t>(buffer.size()) + kLocTextBound.allowance;
        const bool converted = LocToText(false, buffer);
        EXPECT_EQ(converted, length == atBound) << length;
        if (converted) {
            EXPECT_EQ(static_cast<int64_t>(buffer.size()), bound);
        }
    }
}

TEST(LocToText, ForeignTableSharingStringsWithinTheBoundConverts) {
    // Ten offsets at one 10,000-byte string, fifty at one empty string and one at a suffix:
    // more text than the allowance alone would admit, within the multiple of the table.
    const std::string longString(10000, 'w');
    std::vector<uint32_t> offsets(10, 0);
    offsets.insert(offsets.end(), 50, static_cast<uint32_t>(longString.size()));
    offsets.push_back(9990);
    TArrayOfByte buffer = LocTable(offsets, longString + '\0');
    const size_t tableSize = buffer.size();
    ASSERT_TRUE(LocToText(false, buffer));
    EXPECT_GT(static_cast<int64_t>(buffer.size()), kLocTextBound.allowance);
    EXPECT_GT(buffer.size(), 4 * tableSize);
    EXPECT_EQ(buffer.size(), 10 * (longString.size() + 2) + 50 * 2 + 12);
}

TEST(LocEscapes, ControlBytesBackslashAndTildeAreWrittenAsHex) {
    EXPECT_EQ(Escaped("a\nb"), "a\\0Ab");
    EXPECT_EQ(Escaped("\t\\~"), "\\09\\5C\\7E");
    EXPECT_EQ(Escaped(std::string("\x01\x1F", 2)), "\\01\\1F");
    // 0x20, 0x7F and bytes from 0x80 up are written unchanged.
    EXPECT_EQ(Escaped(" \x7F\x80\xFF"), " \x7F\x80\xFF");
}

TEST(LocEscapes, BothIntroducersReadTwoHexDigitsInEitherCase) {
    EXPECT_EQ(Unescaped("~41"), "A");
    EXPECT_EQ(Unescaped("\\4a"), "J");
    EXPECT_EQ(Unescaped("\\4A"), "J");
    EXPECT_EQ(Unescaped("x\\0Ay~7Ez"), "x\ny~z");
    EXPECT_EQ(Unescaped("\\00"), std::string(1, '\0'));
    // A non-digit counts as digit 0 and is still consumed.
    EXPECT_EQ(Unescaped("\\G1rest"), "\x01rest");
    EXPECT_EQ(Unescaped("\\\\41"), "\x04" "1");
}

TEST(LocEscapes, EscapeCutShortByTheLineEnd) {
    // The missing second digit counts as 0.
    EXPECT_EQ(Unescaped("ab\\4"), "ab@");
    EXPECT_EQ(Unescaped("~4"), "@");
    // A lone introducer as the last character stays itself.
    EXPECT_EQ(Unescaped("ab\\"), "ab\\");
    EXPECT_EQ(Unescaped("~"), "~");
}

TEST(LocEscapes, EveryByteSurvivesEscapeAndUnescape) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string escaped = Escaped(all);
    EXPECT_EQ(escaped.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(Unescaped(escaped), all);
}

TEST(TextToLoc, EscapedTextReadsBackUnchanged) {
    const std::string original = "line\nfeed \\ and ~";
    TArrayOfByte table = LocTable({0}, original + '\0');
    ASSERT_TRUE(LocToText(false, table));
    EXPECT_EQ(Text(table), "line\\0Afeed \\5C and \\7E\r\n");
    EXPECT_EQ(LocFromText(Text(table)), LocTable({7}, kMarker + original + '\0'));
}

TEST(TextToLoc, AcceptsCrLfLoneCrAndLoneLf) {
    const TArrayOfByte expected = LocTable({7, 9, 11, 13}, kMarker + std::string("a\0b\0c\0d\0", 8));
    EXPECT_EQ(LocFromText("a\r\nb\rc\nd\r\n"), expected);
    EXPECT_EQ(LocFromText("a\nb\nc\nd\n"), expected);
    EXPECT_EQ(LocFromText("a\rb\rc\rd\r"), expected);
}

TEST(TextToLoc, TwoTrailingLineEndsGiveAnEmptyLastString) {
    EXPECT_EQ(LocFromText("A\r\n\r\n"), LocTable({7, 9}, kMarker + std::string("A\0\0", 3)));
    // LF CR is two line ends, not one.
    EXPECT_EQ(LocFromText("A\n\r"), LocTable({7, 9}, kMarker + std::string("A\0\0", 3)));
}

TEST(TextToLoc, NulByteEndsTheText) {
    EXPECT_EQ(LocFromText(std::string("A\r\nB\0C\r\nD\r\n", 10)), LocFromText("A\r\nB\r\n"));
    EXPECT_EQ(LocFromText(std::string("\0A\r\n", 4)), LocTable({}, kMarker));
}

TEST(TextToLoc, WritesBigEndianCountAndOffsets) {
    const TArrayOfByte table = LocFromText("x", true);
    const std::string expected = std::string("\0\0\0\x01\0\0\0\x07", 8) + kMarker + std::string("x\0", 2);
    EXPECT_EQ(Text(table), expected);
}

TEST(TextToLoc, MissingFileFailsAndLeavesTheBufferAlone) {
    TempDir dir;
    TArrayOfByte buffer = Bytes("keep");
    EXPECT_FALSE(TextToLoc(false, dir / "absent.loc", buffer));
    EXPECT_FALSE(TextToLoc(false, "", buffer));
    EXPECT_FALSE(TextToLoc(false, dir.Path(), buffer));
    EXPECT_EQ(Text(buffer), "keep");
}

TEST(TextToLoc, FileWhoseContentCannotBeObtainedFails) {
    TempDir dir;
    const std::string fifo = dir / "pipe.loc";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    TArrayOfByte buffer = Bytes("keep");
    EXPECT_FALSE(TextToLoc(false, fifo, buffer));
    EXPECT_EQ(Text(buffer), "keep");
}

TEST(TextToLoc, AnUnreadableFileGivesFalseAsAnyFileWithoutContent) {
    if (!CanRunAsOtherUser()) GTEST_SKIP() << "permissions only bite for another user: run as root";
    TempDir dir;
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
    const std::string path = dir / "locked.loc";
    WriteFile(path, "a\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    const int status = RunAsOtherUser([&] {
        TArrayOfByte buffer;
        return TextToLoc(false, path, buffer) ? 1 : 0;
    });
    EXPECT_EQ(status, 0);
}

TEST(LocConversion, RandomTablesSurviveTextAndBackInBothByteOrders) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 300; ++round) {
        const bool bigEndian = round % 2 == 1;
        // Strings of any byte but NUL, laid out the way TextToLoc writes them.
        std::vector<uint32_t> offsets;
        std::string chars = kMarker;
        const int count = static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            offsets.push_back(static_cast<uint32_t>(chars.size()));
            const int length = static_cast<int>(random() % 20);
            for (int k = 0; k < length; ++k) chars += static_cast<char>(1 + random() % 255);
            chars += '\0';
        }
        const TArrayOfByte original = LocTable(offsets, chars, bigEndian);

        TArrayOfByte buffer = original;
        ASSERT_TRUE(LocToText(bigEndian, buffer)) << round;
        EXPECT_EQ(LocFromText(Text(buffer), bigEndian), original) << round;
    }
}

TEST(LocConversion, ForeignLayoutKeepsStringsAndOrder) {
    // Shared bytes, unreached bytes and no marker: the strings survive, the layout is new.
    TArrayOfByte buffer = LocTable({3, 0, 4}, std::string("xyzhello\0junk", 13));
    ASSERT_TRUE(LocToText(false, buffer));
    EXPECT_EQ(Text(buffer), "hello\r\nxyzhello\r\nello\r\n");
    EXPECT_EQ(LocFromText(Text(buffer)),
              LocTable({7, 13, 22}, kMarker + std::string("hello\0xyzhello\0ello\0", 20)));
}

TEST(IsLocFileName, ComparesTheExtensionIgnoringAsciiCase) {
    EXPECT_TRUE(IsLocFileName("text\\menu.loc"));
    EXPECT_TRUE(IsLocFileName("a/b/MENU.LoC"));
    EXPECT_TRUE(IsLocFileName(".loc"));
    EXPECT_TRUE(IsLocFileName("menu.[0123456789abcdef01234567].loc"));
    EXPECT_FALSE(IsLocFileName("menu.loc.txt"));
    EXPECT_FALSE(IsLocFileName("loc"));
    EXPECT_FALSE(IsLocFileName("menu.locx"));
    EXPECT_FALSE(IsLocFileName("loc.d\\menu"));
}
