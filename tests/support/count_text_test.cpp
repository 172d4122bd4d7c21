#include <gtest/gtest.h>

#include "support/count_text.h"

TEST(CountText, TheSingularStandsOnlyForACountOfOne) {
    const struct {
        int64_t count;
        const char* singular;
        const char* plural;
        std::string text;
    } cases[] = {
        {0, "file", "files", "0 files"},
        {1, "file", "files", "1 file"},
        {2, "file", "files", "2 files"},
        {1234, "dir", "dirs", "1,234 dirs"},
        {-1, "file", "files", "-1 files"},
        {1, "dropped file or folder", "dropped files and folders", "1 dropped file or folder"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Counted(c.count, c.singular, c.plural), c.text);
        if (std::string(c.plural) == std::string(c.singular) + "s") EXPECT_EQ(Counted(c.count, c.singular), c.text);
    }
}
