// The filter line under the contents tree: shown by Ctrl+F, narrowing the tree as one types,
// hidden by Escape.
#include <QAction>
#include <QElapsedTimer>
#include <QTest>

#include "form_fixture.h"
#include "tree_fixture.h"
#include "helpers/archive_writer.h"
#include "ui/tree_hint.h"
#include "ui/ui_texts.h"

#include <filesystem>

namespace {

// The nodes a person sees (those of collapsed folders too), indented two blanks per level;
// an expanded folder is marked "+".
std::vector<std::string> ShownOutline(const QTreeWidget* tree) {
    std::vector<std::string> lines;
    std::function<void(const QTreeWidgetItem*, int)> walk = [&](const QTreeWidgetItem* item, int depth) {
        if (item->isHidden()) return;
        const bool open = item->childCount() > 0 && item->isExpanded();
        lines.push_back(std::string(static_cast<size_t>(depth) * 2, ' ') + StdStr(item->text(0)) + (open ? " +" : ""));
        for (int i = 0; i < item->childCount(); ++i) walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) walk(tree->topLevelItem(i), 0);
    return lines;
}

}  // namespace

class TreeFilterTest : public FormTest {
protected:
    std::string archive;

    void SetUp() override {
        archive = temp / "data.pak";
        WriteTestArchive(archive, SmallTree());
        CreateForm();
        form->OpenGivenArchive(archive);
    }

    QLineEdit* Filter() const { return Edit("TreeFilter"); }

    // Types text into the filter line as it stands and waits until the tree shows it.
    void Type(const std::string& text) {
        Filter()->setText(QStr(text));
        QElapsedTimer waited;
        waited.start();
        while (StdStr(Tree()->FilterText()) != text && waited.elapsed() < 5000) QTest::qWait(10);
        ASSERT_EQ(StdStr(Tree()->FilterText()), text);
    }
};

TEST_F(TreeFilterTest, CtrlFShowsTheLineUnderTheTreeAndEscapeHidesItAgainLeavingTheLayoutAsItWas) {
    const QRect tree = Tree()->geometry();
    EXPECT_TRUE(Filter()->isHidden());

    QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_FALSE(Filter()->isHidden());
    EXPECT_TRUE(Filter()->hasFocus() || !form->isActiveWindow());
    EXPECT_EQ(Tree()->geometry().top(), tree.top());
    EXPECT_LT(Tree()->geometry().bottom(), Filter()->geometry().top());
    EXPECT_EQ(Filter()->geometry().bottom(), tree.bottom());

    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_TRUE(Filter()->isHidden());
    EXPECT_EQ(Tree()->geometry(), tree);
}

struct FilterCase {
    const char* text;
    std::vector<std::string> shown;
};

class FilterText : public TreeFilterTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterText, NarrowsTheTreeToMatchingPathsWithTheirFoldersExpanded) {
    form->ShowFilter();
    Type(GetParam().text);
    EXPECT_EQ(ShownOutline(Tree()), GetParam().shown) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FilterText,
    ::testing::Values(FilterCase{"Z.TXT", {"alpha +", "  sub +", "    z.txt"}},
                      FilterCase{"alpha", {"alpha +", "  sub +", "    z.txt", "  y.txt"}},
                      FilterCase{"a\\s", {"alpha +", "  sub +", "    z.txt"}},
                      FilterCase{".txt", {"alpha +", "  sub +", "    z.txt", "  y.txt", "beta +", "  x.txt", "top.txt"}},
                      FilterCase{"nothing", {}},
                      // Wildcards name paths as the command line's ENTRY does: "*" and "?" within
                      // one part, "**" for any number of parts, a folder for all it holds.
                      FilterCase{"*.txt", {"top.txt"}},
                      FilterCase{"**\\*.TXT", {"alpha +", "  sub +", "    z.txt", "  y.txt", "beta +", "  x.txt", "top.txt"}},
                      FilterCase{"alpha/*", {"alpha +", "  sub +", "    z.txt", "  y.txt"}},
                      FilterCase{"?eta", {"beta +", "  x.txt"}},
                      FilterCase{"**\\?.t?t", {"alpha +", "  sub +", "    z.txt", "  y.txt", "beta +", "  x.txt"}},
                      FilterCase{"**/sub/z*", {"alpha +", "  sub +", "    z.txt"}},
                      FilterCase{"a*\\s?b\\*", {"alpha +", "  sub +", "    z.txt"}},
                      FilterCase{"*.bin", {}},
                      FilterCase{"..\\*", {}}));

struct NoMatchCase {
    const char* text;
    bool noMatch;
};

class NoMatch : public TreeFilterTest, public ::testing::WithParamInterface<NoMatchCase> {};

// The tree's empty area says "No match" while the filter shows no entry, and nothing else.
TEST_P(NoMatch, TheEmptyAreaSaysNoMatchOnlyWhileTheFilterShowsNothing) {
    auto* hint = form->findChild<TTreeHint*>(QStringLiteral("TreeHint"));
    ASSERT_NE(hint, nullptr);
    form->ShowFilter();
    Type(GetParam().text);
    EXPECT_EQ(StdStr(hint->Text()), GetParam().noMatch ? NoMatchHint : "") << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, NoMatch,
                         ::testing::Values(NoMatchCase{"nothing", true}, NoMatchCase{"*.bin", true},
                                           NoMatchCase{"z", false}, NoMatchCase{"*", false},
                                           NoMatchCase{"", false}));

// Extract... on a folder the filter narrows writes the files it shows, not those it hides.
TEST_F(TreeFilterTest, ExtractOfAFilteredFolderWritesOnlyTheFilesTheFilterShows) {
    namespace fs = std::filesystem;
    const struct {
        const char* text;
        const char* written;
        const char* left;
    } cases[] = {{"y.", "alpha/y.txt", "alpha/sub"}, {"sub", "alpha/sub/z.txt", "alpha/y.txt"}};
    form->ShowFilter();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string target = temp / ("out-" + std::string(c.text));
        fs::create_directories(target);
        script.onFolder = [target](const std::string&, const std::string&, std::string& chosen) {
            chosen = target;
            return true;
        };
        Type(c.text);
        Tree()->clearSelection();
        Tree()->topLevelItem(0)->setSelected(true);  // alpha
        Find<QAction>("Action_Extract")->trigger();
        EXPECT_EQ(Caption(), ExtractedText(1));
        EXPECT_TRUE(fs::exists(target + "/" + c.written));
        EXPECT_FALSE(fs::exists(target + "/" + c.left));
    }
}

struct ToTreeCase {
    Qt::Key key;
    const char* text;
    const char* current;  // the archive path then current and selected, "" for the line keeping the focus
};

class KeyToTree : public TreeFilterTest, public ::testing::WithParamInterface<ToTreeCase> {};

// Enter and Down in the filter line go to the first file it shows, selected in the tree.
TEST_P(KeyToTree, MovesTheFocusToTheFirstFileTheFilterShows) {
    const ToTreeCase& c = GetParam();
    form->activateWindow();
    QApplication::setActiveWindow(form.get());
    form->ShowFilter();
    // Typed and Enter at once: the key does not wait for the pause.
    Filter()->setText(QStr(c.text));
    QTest::keyClick(Filter(), c.key);
    if (std::string(c.current).empty()) {
        EXPECT_TRUE(Filter()->hasFocus());
        EXPECT_TRUE(Tree()->selectedItems().isEmpty());
        return;
    }
    EXPECT_TRUE(Tree()->hasFocus());
    ASSERT_EQ(Tree()->selectedItems().size(), 1);
    EXPECT_EQ(Tree()->selectedItems().front(), Tree()->currentItem());
    EXPECT_EQ(Tree()->ArchivePathOf(Tree()->currentItem()), c.current);
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyToTree,
                         ::testing::Values(ToTreeCase{Qt::Key_Return, "z", "alpha\\sub\\z.txt"},
                                           ToTreeCase{Qt::Key_Enter, "?eta", "beta\\x.txt"},
                                           ToTreeCase{Qt::Key_Down, "top", "top.txt"},
                                           ToTreeCase{Qt::Key_Down, ".txt", "alpha\\sub\\z.txt"},
                                           ToTreeCase{Qt::Key_Return, "nothing", ""}),
                         [](const ::testing::TestParamInfo<ToTreeCase>& info) {
                             const char* key = info.param.key == Qt::Key_Down ? "Down" : "Enter";
                             return key + std::to_string(info.index);
                         });

TEST_F(TreeFilterTest, ClearingTheTextShowsTheTreeAsItWasBefore) {
    Tree()->topLevelItem(1)->setExpanded(true);  // beta
    const std::vector<std::string> before = ShownOutline(Tree());
    form->ShowFilter();
    Type("z");
    ASSERT_NE(ShownOutline(Tree()), before);
    Type("");
    EXPECT_EQ(ShownOutline(Tree()), before);
}

TEST_F(TreeFilterTest, TheTextAppliesToTheTreeFilledAgainAfterAnEdit) {
    form->ShowFilter();
    Type("x.");
    WriteFile(temp / "box.bin", "new");
    script.onOpen = [this](TOpenDialogState& state) {
        state.FileNames = {temp / "box.bin"};
        return true;
    };
    Tree()->clearSelection();
    Find<QAction>("Action_AddFiles")->trigger();
    EXPECT_EQ(ShownOutline(Tree()), (std::vector<std::string>{"beta +", "  x.txt", "box.bin"}));

    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_EQ(ShownOutline(Tree()), (std::vector<std::string>{"alpha", "  sub", "    z.txt", "  y.txt", "beta",
                                                              "  x.txt", "box.bin", "top.txt"}));
}
