#include <gtest/gtest.h>

#include "support/display_text.h"

TEST(PrintableText, ControlBytesBecomeTheirHexDigitsInAngleBrackets) {
    const struct {
        std::string text, printable;
    } cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"a\nb", "a<0A>b"},
        {"cr\r", "cr<0D>"},
        {"\x1b[2J", "<1B>[2J"},
        {std::string("nul\0end", 7), "nul<00>end"},
        {"\x1f\x20\x7e\x7f", "<1F> ~<7F>"},
        {"caf\xc3\xa9 \x80\xff", "caf\xc3\xa9 \x80\xff"},
        {"a\\b/c", "a\\b/c"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(PrintableText(c.text), c.printable) << c.printable;
}

TEST(PrintableText, EscapingTwiceChangesNothingMore) {
    const std::string once = PrintableText("a\nb\x1b");
    EXPECT_EQ(PrintableText(once), once);
}

TEST(ArchivePathForUser, SeparatesFoldersWithSlashesAndEscapesControlBytes) {
    EXPECT_EQ(ArchivePathForUser("data\\sub\\a.txt"), "data/sub/a.txt");
    EXPECT_EQ(ArchivePathForUser("mixed/sep\\x"), "mixed/sep/x");
    EXPECT_EQ(ArchivePathForUser("new\nline\\x"), "new<0A>line/x");
}
