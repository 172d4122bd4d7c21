#include "support/windows_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(WindowsNames, AWellFormedUtf8NameBecomesItsCharacters) {
    EXPECT_EQ(WindowsTextOfName("data\\maps"), u"data\\maps");
    EXPECT_EQ(WindowsTextOfName("caf\xC3\xA9"), u"caf\u00E9");
    EXPECT_EQ(WindowsTextOfName("\xF0\x9F\x8E\xB2"), u"\U0001F3B2");  // outside the BMP: a pair
}

TEST(WindowsNames, ANameThatIsNotUtf8IsReadAsWindows1252) {
    EXPECT_EQ(WindowsTextOfName("caf\xE9"), u"caf\u00E9");
    EXPECT_EQ(WindowsTextOfName("\x80uro \x9C"), u"\u20ACuro \u0153");
    // A name with one bad sequence is Windows-1252 throughout, its UTF-8-looking bytes too.
    EXPECT_EQ(WindowsTextOfName("\xC3\xA9\xE9"), u"\u00C3\u00A9\u00E9");
    // The bytes the code page leaves undefined keep their code points.
    EXPECT_EQ(WindowsTextOfName("\x81\x8D\x8F\x90\x9D"), u"\u0081\u008D\u008F\u0090\u009D");
}

TEST(WindowsNames, OverlongAndSurrogateSequencesAreNotUtf8) {
    EXPECT_EQ(WindowsTextOfName("\xC0\xAF"), u"\u00C0\u00AF");
    EXPECT_EQ(WindowsTextOfName("\xED\xA0\x80"), u"\u00ED\u00A0\u20AC");
}

TEST(WindowsNames, WindowsTextComesBackAsUtf8) {
    EXPECT_EQ(NameOfWindowsText(u"caf\u00E9"), std::optional<std::string>("caf\xC3\xA9"));
    EXPECT_EQ(NameOfWindowsText(u"\u20AC\U0001F3B2"), std::optional<std::string>("\xE2\x82\xAC\xF0\x9F\x8E\xB2"));
    EXPECT_EQ(NameOfWindowsText(u""), std::optional<std::string>(""));
}

TEST(WindowsNames, ALoneSurrogateHasNoName) {
    EXPECT_EQ(NameOfWindowsText(std::u16string(u"a") + char16_t(0xD800)), std::nullopt);
    EXPECT_EQ(NameOfWindowsText(std::u16string(1, char16_t(0xDC00)) + u"a"), std::nullopt);
}

TEST(WindowsNames, Utf8NamesRoundTripThroughWindowsText) {
    for (const std::string name : {"a", "Data_1.pak", "caf\xC3\xA9", "\xE2\x82\xAC\xF0\x9F\x8E\xB2"})
        EXPECT_EQ(NameOfWindowsText(WindowsTextOfName(name)), std::optional<std::string>(name)) << name;
}

TEST(WindowsNames, AbsolutePathsTakeTheLongPathForm) {
    struct Case {
        std::u16string path;
        std::u16string expected;
    };
    const std::vector<Case> cases = {
        {u"C:\\games\\data.pak", u"\\\\?\\C:\\games\\data.pak"},
        {u"d:\\", u"\\\\?\\d:\\"},
        {u"\\\\server\\share\\data.pak", u"\\\\?\\UNC\\server\\share\\data.pak"},
        {u"\\\\?\\C:\\already", u"\\\\?\\C:\\already"},
        {u"relative\\data.pak", u"relative\\data.pak"},
        {u"C:relative", u"C:relative"},
    };
    for (const Case& c : cases) EXPECT_EQ(LongPathForm(c.path), c.expected);
}

TEST(WindowsNames, DeviceNamesAreForbiddenWithAnyExtensionAndCase) {
    for (const std::string name : {"CON", "con", "Nul", "PRN", "aux", "COM1", "com9", "LPT1", "lpt0", "CONIN$",
                                   "conout$", "nul.txt", "CON.tar.gz", "NUL .txt", "com1.pak"})
        EXPECT_TRUE(IsForbiddenWindowsName(name)) << name;
}

TEST(WindowsNames, NamesEndingInADotOrSpaceAreForbidden) {
    for (const std::string name : {"data.", "data ", "a..", ".", ".."}) EXPECT_TRUE(IsForbiddenWindowsName(name)) << name;
}

TEST(WindowsNames, StreamSeparatorsAndOtherReservedCharactersAreForbidden) {
    const std::vector<std::string> names = {"data.pak:stream", "a<b", "a>b", "a\"b", "a/b", "a\\b", "a|b",
                                            "a?b", "a*b", "a\x01" "b", "a\tb", ""};
    for (const std::string& name : names)
        EXPECT_TRUE(IsForbiddenWindowsName(name)) << name;
}

TEST(WindowsNames, OrdinaryNamesAreAllowed) {
    for (const std::string name : {"data.pak", "CONSOLE", "console.txt", "COM10", "LPT", "aux_data", "nul_",
                                   ".hidden", "a b", "caf\xC3\xA9", "caf\xE9", "COM\xC2\xB9x"})
        EXPECT_FALSE(IsForbiddenWindowsName(name)) << name;
}
