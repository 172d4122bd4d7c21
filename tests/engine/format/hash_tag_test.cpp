#include <gtest/gtest.h>

#include "engine/format/hash_tag.h"
#include "engine/format/internal/hash_tag.h"

namespace {

constexpr const char* kZeroTagText = "000000000000000000000000";
// First 24 hex digits of SHA-1("text\menu.loc"), worked out outside this program.
constexpr const char* kMenuTagText = "c8ef54dca9c97b5e95b3b4ae";

}  // namespace

TEST(PathHashTag, IsTheFirst96BitsOfTheSha1OfThePath) {
    EXPECT_EQ(TagToText(PathHashTag("abc")), "a9993e364706816aba3e2571");
    EXPECT_EQ(TagToText(PathHashTag("text\\menu.loc")), kMenuTagText);
}

TEST(PathHashTag, FoldsAsciiLettersAndSlashes) {
    const HashTag expected = PathHashTag("text\\menu.loc");
    EXPECT_EQ(PathHashTag("Text/Menu.LOC"), expected);
    EXPECT_EQ(PathHashTag("TEXT\\MENU.loc"), expected);
    EXPECT_EQ(PathHashTag("text/menu.loc"), expected);
}

TEST(PathHashTag, LeavesBytesAbove0x7FAndOtherCharactersAlone) {
    // Latin-1 u-umlaut (0xFC) and U-umlaut (0xDC) are not folded.
    EXPECT_EQ(TagToText(PathHashTag("text\\men\xFC.loc")), "300312579a250864ada3517e");
    EXPECT_EQ(TagToText(PathHashTag("text\\MEN\xDC.loc")), "43f5c8076782e11bb32c3efd");
    EXPECT_NE(PathHashTag("text\\men\xFC.loc"), PathHashTag("text\\MEN\xDC.loc"));
    // No trimming or collapsing of separators.
    EXPECT_NE(PathHashTag("text\\menu.loc"), PathHashTag("text\\\\menu.loc"));
    EXPECT_NE(PathHashTag("text\\menu.loc"), PathHashTag(" text\\menu.loc"));
    // Only 'A'..'Z' fold: '@' (0x40) and '[' (0x5B) are not letters.
    EXPECT_NE(PathHashTag("@"), PathHashTag("`"));
    EXPECT_NE(PathHashTag("["), PathHashTag("{"));
}

TEST(PathHashTag, EmptyPathAndEmptyTagTextGiveTheAllZeroTag) {
    const HashTag zero{};
    EXPECT_EQ(PathHashTag(""), zero);
    EXPECT_EQ(TagToText(PathHashTag("")), kZeroTagText);
    EXPECT_EQ(TagFromText(""), zero);
}

TEST(TagText, ReadsBackWhatItWrites) {
    for (const char* path : {"abc", "text\\menu.loc", "", "a\\b\\c\\d.dat"}) {
        const HashTag tag = PathHashTag(path);
        EXPECT_EQ(TagToText(tag).size(), 24u);
        EXPECT_EQ(TagFromText(TagToText(tag)), tag) << path;
    }
}

TEST(TagText, KeepsDigitOrderAndAcceptsUpperCase) {
    const HashTag tag = TagFromText("0123456789ABCDEF01234567");
    const HashTag expected{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67};
    EXPECT_EQ(tag, expected);
    EXPECT_EQ(TagFromText("0123456789abcdef01234567"), expected);
    EXPECT_EQ(TagToText(tag), "0123456789abcdef01234567");
}

TEST(TagText, PadsShortTextWithZerosAndIgnoresExtraCharacters) {
    EXPECT_EQ(TagToText(TagFromText("ff")), "ff0000000000000000000000");
    EXPECT_EQ(TagToText(TagFromText("0123456789abcdef01234567ffff")), "0123456789abcdef01234567");
    // A character that is not a hex digit counts as 0.
    EXPECT_EQ(TagToText(TagFromText("x1zzzzzz1234567812345678")), "0100000012345678" "12345678");
}

TEST(AttachTag, PutsTheTagOfTheArchivePathBeforeTheExtension) {
    const std::string tagged = AttachTag("D:\\out\\text\\menu.loc", "text\\menu.loc");
    EXPECT_EQ(tagged, std::string("D:\\out\\text\\menu.[") + kMenuTagText + "].loc");
}

TEST(AttachTag, UsesTheArchivePathNotTheOutputPath) {
    EXPECT_EQ(AttachTag("/tmp/x/TEXT/Menu.LOC", "text\\menu.loc"),
              std::string("\\tmp\\x\\TEXT\\Menu.[") + kMenuTagText + "].LOC");
}

TEST(AttachTag, NameWithoutExtensionEndsWithTheDot) {
    EXPECT_EQ(AttachTag("D:\\out\\readme", "readme"), "D:\\out\\readme.[f78a71af8bbf8cc2f6f31354].");
}

TEST(AttachTag, IsRecognisedAgainByHashTagFromFileName) {
    for (const char* path : {"text\\menu.loc", "readme", "a\\b.c\\d.e.f"}) {
        const std::string tagged = AttachTag(std::string("D:\\out\\") + path, path);
        EXPECT_EQ(HashTagFromFileName(tagged), TagToText(PathHashTag(path))) << tagged;
        EXPECT_EQ(AttachTag(std::string("D:\\out\\") + path, path), tagged);
    }
}

TEST(HashTagFromFileName, FindsTheTwentyFourCharactersBetweenTheBrackets) {
    EXPECT_EQ(HashTagFromFileName("D:\\x\\menu.[0123456789abcdef01234567].loc"), "0123456789abcdef01234567");
    EXPECT_EQ(HashTagFromFileName("[0123456789ABCDEF01234567]"), "0123456789ABCDEF01234567");
    EXPECT_EQ(TagFromText(HashTagFromFileName("[0123456789ABCDEF01234567]")),
              TagFromText("0123456789abcdef01234567"));
}

TEST(HashTagFromFileName, GivesEmptyTextWhenNoTagFits) {
    EXPECT_EQ(HashTagFromFileName("menu.[0123].loc"), "");
    EXPECT_EQ(HashTagFromFileName("menu.loc"), "");
    EXPECT_EQ(HashTagFromFileName(""), "");
    // 25 characters before "]" are too many, 23 too few.
    EXPECT_EQ(HashTagFromFileName("m[0123456789abcdef012345678].loc"), "");
    EXPECT_EQ(HashTagFromFileName("mm[0123456789abcdef012345].loc"), "");
    // No "[" at all.
    EXPECT_EQ(HashTagFromFileName("m0123456789abcdef01234567].loc"), "");
}

TEST(HashTagFromFileName, SearchesOnlyTheStem) {
    // The tag in the folder name does not count.
    EXPECT_EQ(HashTagFromFileName("D:\\x.[0123456789abcdef01234567]\\menu.loc"), "");
    // The characters need not be hex digits; text after "]" is ignored.
    EXPECT_EQ(HashTagFromFileName("a[zzzzzzzzzzzzzzzzzzzzzzzz]tail.loc"), "zzzzzzzzzzzzzzzzzzzzzzzz");
}

TEST(HashTagFromFileName, NameWithoutExtensionNeedsItsTrailingDot) {
    const std::string tagged = AttachTag("readme", "readme");
    ASSERT_EQ(tagged.back(), '.');
    EXPECT_EQ(HashTagFromFileName(tagged), "f78a71af8bbf8cc2f6f31354");
    const std::string lostDot = tagged.substr(0, tagged.size() - 1);
    EXPECT_EQ(HashTagFromFileName(lostDot), "");
}
