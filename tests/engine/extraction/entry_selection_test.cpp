#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/extraction/entry_selection.h"
#include "engine/format/internal/archive_format.h"
#include "helpers/index_of_paths.h"

namespace {

struct SelectionCase {
    const char* pattern;
    const char* path;  // as an archive stores it
    bool selected;
    bool literal = false;
};

class PatternSelection : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(PatternSelection, SelectsExactlyThePathsItNames) {
    const SelectionCase& c = GetParam();
    EXPECT_EQ(PatternSelects(ParseEntryPattern(c.pattern, c.literal), c.path), c.selected)
        << c.pattern << " / " << c.path << (c.literal ? " (literal)" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, PatternSelection,
    ::testing::Values(
        // letter case and separators
        SelectionCase{"data/x.bin", "data\\x.bin", true}, SelectionCase{"DATA\\X.BIN", "data\\x.bin", true},
        SelectionCase{"data/x.bin", "Data\\X.Bin", true}, SelectionCase{"data/x.bi", "data\\x.bin", false},
        // a folder selects everything below it, at any depth, with or without a separator at its end
        SelectionCase{"data", "data\\sub\\y.bin", true}, SelectionCase{"data/", "data\\x.bin", true},
        SelectionCase{"dat", "data\\x.bin", false}, SelectionCase{"data/sub", "data\\x.bin", false},
        // * and ? stay within one part
        SelectionCase{"*.bin", "x.bin", true}, SelectionCase{"*.bin", "data\\x.bin", false},
        SelectionCase{"data/*.bin", "data\\x.bin", true}, SelectionCase{"data/*.bin", "data\\sub\\x.bin", false},
        SelectionCase{"d*/x.bin", "data\\x.bin", true}, SelectionCase{"data/?.bin", "data\\x.bin", true},
        SelectionCase{"data/?.bin", "data\\xy.bin", false}, SelectionCase{"*", "any\\thing", true},
        SelectionCase{"a*b*c", "aXbYbZc", true}, SelectionCase{"a*b*c", "aXbYcZ", false},
        // ** crosses any number of parts, none included
        SelectionCase{"**/x.bin", "x.bin", true}, SelectionCase{"**/x.bin", "a\\b\\c\\x.bin", true},
        SelectionCase{"data/**/y.bin", "data\\y.bin", true}, SelectionCase{"data/**/y.bin", "data\\s\\t\\y.bin", true},
        SelectionCase{"data/**/y.bin", "other\\s\\y.bin", false}, SelectionCase{"**", "a\\b", true},
        SelectionCase{"**/*.TXT", "a\\b\\n.txt", true},
        // a pattern that matches nothing
        SelectionCase{"nothing/here", "data\\x.bin", false},
        // a literal path names only itself and what lies below it, whatever bytes it holds; a
        // file's own name counts in its letter case, since two files may differ only in it
        SelectionCase{"a*b.bin", "a*b.bin", true, true}, SelectionCase{"a*b.bin", "aXb.bin", false, true},
        SelectionCase{"d?", "d?\\x.bin", true, true}, SelectionCase{"d?", "da\\x.bin", false, true},
        SelectionCase{"**", "a\\b", false, true}, SelectionCase{"data/x.bin", "data\\x.bin", true, true},
        SelectionCase{"DATA/x.bin", "data\\x.bin", true, true}, SelectionCase{"data/x.BIN", "data\\x.bin", false, true},
        SelectionCase{"data", "DATA\\x.bin", true, true}));

struct ProblemCase {
    const char* text;
    bool refused;
};

class PatternProblem : public ::testing::TestWithParam<ProblemCase> {};

TEST_P(PatternProblem, RefusesPathsThatCannotLieBelowTheTarget) {
    const ProblemCase& c = GetParam();
    EXPECT_EQ(!EntryPatternProblem(c.text).empty(), c.refused) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Texts, PatternProblem,
                         ::testing::Values(ProblemCase{"", true}, ProblemCase{"..", true},
                                           ProblemCase{"a/../b", true}, ProblemCase{"a\\..", true},
                                           ProblemCase{"/a", true}, ProblemCase{"\\a", true},
                                           ProblemCase{"C:/a", true}, ProblemCase{"a//b", true},
                                           ProblemCase{"./a", true}, ProblemCase{"a/b/", false},
                                           ProblemCase{"**/*.bin", false}, ProblemCase{"a..b", false}));

TEST(SelectEntries, SelectsEachEntryOnceAndNamesEachPatternThatSelectsNothing) {
    const TArchiveIndex index = IndexOfPaths({"a\\x.bin", "a\\y.txt", "b\\z.bin"});
    const std::vector<TEntryPattern> patterns{ParseEntryPattern("a"), ParseEntryPattern("**/*.bin"),
                                              ParseEntryPattern("c")};
    const TEntrySelection selection = SelectEntries(index, patterns);
    EXPECT_EQ(selection.indices, (std::vector<size_t>{0, 1, 2}));
    EXPECT_EQ(selection.unmatched, (std::vector<std::string>{"c"}));
}

}  // namespace
