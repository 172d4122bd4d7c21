// The filter line under the contents tree: shown by Ctrl+F, narrowing the tree as one types,
// hidden by Escape.
#include <QAction>
#include <QElapsedTimer>
#include <QTest>

#include "form_fixture.h"
#include "tree_fixture.h"
#include "helpers/archive_writer.h"

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
                      FilterCase{"nothing", {}}));

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
