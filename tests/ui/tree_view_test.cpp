// What the contents tree shows besides its entries: the archive it shows named on its header,
// the archive a command of the buttons ran on opened in it, the Details view's columns, and
// the hint in its empty area.
#include <QAction>
#include <QHeaderView>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>
#include <filesystem>

#include "form_fixture.h"
#include "tree_fixture.h"
#include "helpers/archive_writer.h"
#include "ui/tree_hint.h"
#include "ui/ui_texts.h"

namespace fs = std::filesystem;

namespace {

// The text of every row of one column, depth first, folders' rows included.
std::vector<std::string> ColumnOutline(const QTreeWidget* tree, int column) {
    std::vector<std::string> lines;
    std::function<void(const QTreeWidgetItem*)> walk = [&](const QTreeWidgetItem* item) {
        lines.push_back(StdStr(item->text(column)));
        for (int i = 0; i < item->childCount(); ++i) walk(item->child(i));
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) walk(tree->topLevelItem(i));
    return lines;
}

std::string RepeatedText(size_t size) {
    std::string text;
    for (size_t i = 0; text.size() < size; ++i) text += std::to_string(i * 7919 % 1000) + ",";
    text.resize(size);
    return text;
}

}  // namespace

class TreeViewTest : public FormTest {
protected:
    std::string archive;

    void SetUp() override {
        archive = temp / "data.pak";
        WriteTestArchive(archive, SmallTree());
    }

    QHeaderView* Header() const { return Tree()->header(); }
    std::string HeaderText() const { return StdStr(Tree()->headerItem()->text(0)); }

    // The header's tool tip as the header shows it over its first section.
    std::string HeaderTip() const {
        const QPoint at(Header()->sectionViewportPosition(0) + 5, Header()->height() / 2);
        QHelpEvent event(QEvent::ToolTip, at, Header()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(Header()->viewport(), &event);
        return QToolTip::isVisible() ? StdStr(QToolTip::text()) : std::string();
    }

    void ClickHeader(int column) {
        const QPoint at(Header()->sectionViewportPosition(column) + Header()->sectionSize(column) / 2,
                        Header()->height() / 2);
        QTest::mouseClick(Header()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    TTreeHint* Hint() const { return form->findChild<TTreeHint*>(QStringLiteral("TreeHint")); }
};

TEST_F(TreeViewTest, TheHeaderNamesTheArchiveShownAndItsTipGivesThePathAndFileCount) {
    CreateForm();
    EXPECT_TRUE(Tree()->isHeaderHidden()) << "no archive open, no header";
    form->OpenGivenArchive(archive);
    ASSERT_FALSE(Tree()->isHeaderHidden());
    EXPECT_EQ(HeaderText(), "data.pak");
    EXPECT_EQ(HeaderTip(), archive + "\n4 files");
}

// A command of the buttons that ran on another archive than the tree's opens that one, and the
// menu's commands then act on it.
TEST_F(TreeViewTest, ExtractOfAnotherArchiveOpensItInTheTreeAndRemoveActsOnIt) {
    const std::string other = temp / "other.pak";
    WriteTestArchive(other, TestFolder{"", {}, {File("one.txt", "1"), File("two.txt", "2")}});
    CreateForm();
    form->OpenGivenArchive(archive);
    SetText("Edit1", other);
    SetText("Edit2", temp / "out");
    Button("Button_XtractAll")->click();
    ASSERT_EQ(Caption(), ExtractedText(2));
    EXPECT_EQ(TreeOutline(Tree()), (std::vector<std::string>{"one.txt", "two.txt"}));
    EXPECT_EQ(HeaderText(), "other.pak");

    const auto sizeBefore = fs::file_size(archive);
    Tree()->clearSelection();
    Tree()->topLevelItem(0)->setSelected(true);
    script.onConfirm = [](const std::string&) { return true; };
    Find<QAction>("Action_Remove")->trigger();
    EXPECT_EQ(TreeOutline(Tree()), std::vector<std::string>{"two.txt"});
    EXPECT_EQ(fs::file_size(archive), sizeBefore) << "the archive shown before was changed";
}

TEST_F(TreeViewTest, MakePakOfAnotherArchiveOpensTheNewOneAndAFailedCommandLeavesTheTree) {
    WriteFile(temp / "src/made.txt", "made");
    CreateForm();
    form->OpenGivenArchive(archive);
    const std::vector<std::string> shown = TreeOutline(Tree());
    // A command that fails leaves the tree as it was.
    SetText("Edit1", temp / "missing.pak");
    SetText("Edit2", temp / "out");
    Button("Button_XtractAll")->click();
    ASSERT_EQ(Caption(), ErrorText);
    EXPECT_EQ(TreeOutline(Tree()), shown);
    EXPECT_EQ(HeaderText(), "data.pak");

    SetText("Edit1", temp / "made.pak");
    SetText("Edit2", temp / "src");
    Button("Button_MakeArchive")->click();
    ASSERT_EQ(Caption(), "O.K. Packed: 0 dirs and 1 files!");
    EXPECT_EQ(TreeOutline(Tree()), std::vector<std::string>{"made.txt"});
    EXPECT_EQ(HeaderText(), "made.pak");
}

TEST(PersonSize, SizesReadInBytesKibibytesAndMebibytes) {
    const struct {
        int64_t bytes;
        const char* text;
    } cases[] = {{0, "0 B"},         {1023, "1023 B"},          {1024, "1.0 KiB"},
                 {1536, "1.5 KiB"},  {10 * 1024, "10 KiB"},      {5 * 1024 * 1024 + 1, "5.0 MiB"},
                 {int64_t{3} << 30, "3.0 GiB"}};
    for (const auto& c : cases) EXPECT_EQ(StdStr(PersonSize(c.bytes)), c.text) << c.bytes;
}

// The Details view: Size, Packed and Ratio beside the names, from the menu, kept in the
// settings; a click on a column's header sorts by it, folders staying above files.
TEST_F(TreeViewTest, DetailsShowSizesThatSortByAHeaderClickWithFoldersFirst) {
    WriteTestArchive(archive, TestFolder{"",
                                         {{"dir", {}, {File("in.txt", RepeatedText(3000))}}},
                                         {File("big.txt", RepeatedText(5000)), File("small.txt", "tiny"),
                                          File("mid.txt", RepeatedText(2048))}});
    CreateForm();
    form->OpenGivenArchive(archive);
    EXPECT_EQ(Tree()->columnCount(), 1) << "one column unless Details is asked for";
    Find<QAction>("Action_Details")->trigger();
    ASSERT_EQ(Tree()->columnCount(), 4);
    EXPECT_EQ(StdStr(Tree()->headerItem()->text(1)), "Size");
    EXPECT_EQ(StdStr(Tree()->headerItem()->text(2)), "Packed");
    EXPECT_EQ(StdStr(Tree()->headerItem()->text(3)), "Ratio");
    // The fill's own order: folders, then files in the archive's order.
    EXPECT_EQ(ColumnOutline(Tree(), 0), (std::vector<std::string>{"dir", "in.txt", "big.txt", "small.txt", "mid.txt"}));
    EXPECT_EQ(ColumnOutline(Tree(), 1), (std::vector<std::string>{"2.9 KiB", "2.9 KiB", "4.9 KiB", "4 B", "2.0 KiB"}));
    const QTreeWidgetItem* small = Tree()->topLevelItem(2);
    const int64_t packed = Tree()->TotalsOf(small).packed;
    EXPECT_EQ(StdStr(small->text(2)), std::to_string(packed) + " B");
    EXPECT_EQ(StdStr(small->text(3)), QString::number(packed * 100.0 / 4, 'f', 1).toStdString() + "%");

    ClickHeader(1);
    EXPECT_EQ(ColumnOutline(Tree(), 0), (std::vector<std::string>{"dir", "in.txt", "small.txt", "mid.txt", "big.txt"}));
    ClickHeader(1);
    EXPECT_EQ(ColumnOutline(Tree(), 0), (std::vector<std::string>{"dir", "in.txt", "big.txt", "mid.txt", "small.txt"}));
    ClickHeader(0);
    EXPECT_EQ(ColumnOutline(Tree(), 0), (std::vector<std::string>{"dir", "in.txt", "big.txt", "small.txt", "mid.txt"}));
    // A filter applied before a sort still finds its rows in the sorted tree.
    form->ShowFilter();
    Tree()->SetFilter(QStringLiteral("i"));
    ClickHeader(1);
    ASSERT_EQ(ColumnOutline(Tree(), 0), (std::vector<std::string>{"dir", "in.txt", "small.txt", "mid.txt", "big.txt"}));
    EXPECT_TRUE(Tree()->topLevelItem(1)->isHidden());  // small.txt
    Tree()->SetFilter(QStringLiteral("s"));
    EXPECT_TRUE(Tree()->topLevelItem(0)->isHidden());   // dir
    EXPECT_FALSE(Tree()->topLevelItem(1)->isHidden());  // small.txt
    EXPECT_TRUE(Tree()->topLevelItem(2)->isHidden());   // mid.txt
    EXPECT_TRUE(Tree()->topLevelItem(3)->isHidden());   // big.txt

    form->close();
    EXPECT_NE(ReadFileText(SettingsPath()).find("[View]\nDetails=1\n"), std::string::npos);
}

TEST_F(TreeViewTest, TheDetailsViewIsReadFromTheSettingsAndTheMenuTurnsItOff) {
    CreateForm(kNoFadeSettings + "[View]\nDetails=1\n");
    EXPECT_EQ(Tree()->columnCount(), 4);
    EXPECT_FALSE(Tree()->isHeaderHidden());
    form->OpenGivenArchive(archive);
    QAction* details = Find<QAction>("Action_Details");
    emit Tree()->ContextMenuAsked(QPoint(0, 0));
    EXPECT_TRUE(details->isChecked());
    details->trigger();
    EXPECT_EQ(Tree()->columnCount(), 1);
    form->close();
    EXPECT_NE(ReadFileText(SettingsPath()).find("[View]\nDetails=0\n"), std::string::npos);
}

TEST_F(TreeViewTest, TheEmptyTreeSaysInGreyHowToOpenAnArchiveUntilOneIsOpen) {
    CreateForm();
    ASSERT_NE(Hint(), nullptr);
    EXPECT_EQ(StdStr(Hint()->Text()), EmptyTreeHint);
    // The words are painted: the empty area is not all of one colour.
    const QImage shown = Tree()->viewport()->grab().toImage();
    const QRgb base = shown.pixel(1, shown.height() - 2);
    bool painted = false;
    for (int y = 0; y < shown.height() / 2 && !painted; ++y)
        for (int x = 0; x < shown.width() && !painted; ++x) painted = shown.pixel(x, y) != base;
    EXPECT_TRUE(painted);

    form->OpenGivenArchive(archive);
    EXPECT_EQ(StdStr(Hint()->Text()), "");
}
