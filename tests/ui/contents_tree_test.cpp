// Filling the contents tree from an archive's index, and how it shows the names it holds.
#include <QTest>

#include "engine/reading/archive_entries.h"
#include "form_fixture.h"
#include "helpers/archive_writer.h"
#include "helpers/crafted_archives.h"
#include "helpers/index_of_paths.h"
#include "helpers/temp_dir.h"
#include "ui/tree_images.h"

namespace {

class ContentsTreeTest : public ::testing::Test {
protected:
    TImageList images = CreateTreeImageList();
    TContentsTree tree{images};

    // Entries of the root whose names are the paths, separators and all.
    void Fill(const std::vector<std::string>& paths, bool clearFirst = true, const std::string& root = "") {
        TStringList_2_TTreeView_proba(std::make_shared<TArchiveIndex>(IndexOfPaths(paths)), &tree, root, -1, -1,
                                      clearFirst);
    }
};

bool SamePixels(const QPixmap& a, const QPixmap& b) { return a.toImage() == b.toImage(); }

}  // namespace

TEST_F(ContentsTreeTest, SubfoldersComeFirstInCaseInsensitiveOrderThenFilesInListingOrder) {
    Fill({"beta\\x.txt", "alpha\\y.txt", "alpha\\gamma\\z.txt", "top.txt"});
    EXPECT_EQ(TreeOutline(&tree), (std::vector<std::string>{"alpha", "  gamma", "    z.txt", "  y.txt", "beta",
                                                            "  x.txt", "top.txt"}));
}

TEST_F(ContentsTreeTest, FoldersDifferingInCaseBecomeOneNodeSpelledAsFirstMet) {
    Fill({"Data\\one.txt", "data\\two.txt"});
    EXPECT_EQ(TreeOutline(&tree), (std::vector<std::string>{"Data", "  one.txt", "  two.txt"}));
}

TEST_F(ContentsTreeTest, ForwardSlashesGiveTheSameNodesAsBackslashes) {
    Fill({"alpha/beta/z.txt"});
    const std::vector<std::string> slashed = TreeOutline(&tree);
    Fill({"alpha\\beta\\z.txt"});
    EXPECT_EQ(slashed, TreeOutline(&tree));
    EXPECT_EQ(slashed, (std::vector<std::string>{"alpha", "  beta", "    z.txt"}));
}

TEST_F(ContentsTreeTest, EmptyListingWithClearFirstLeavesAnEmptyTree) {
    Fill({"a\\b.txt"});
    Fill({});
    EXPECT_EQ(tree.topLevelItemCount(), 0);
}

TEST_F(ContentsTreeTest, WithoutClearFirstNodesAreAdded) {
    Fill({"a.txt"});
    Fill({"b.txt"}, false);
    EXPECT_EQ(TreeOutline(&tree), (std::vector<std::string>{"a.txt", "b.txt"}));
}

// Folder records of the directory and separators inside names make one tree: a folder is one
// node whatever records and letter case its files come through, spelled as first met.
TEST_F(ContentsTreeTest, FolderRecordsAndSeparatorsInNamesGiveOneNodePerFolderSpelledAsFirstMet) {
    const TempDir dir;
    WriteTestArchive(dir / "mixed.pak",
                     TestFolder{"",
                                {{"Data", {}, {{"one.txt", Bytes("1")}}},
                                 {"data", {}, {{"sub/two.txt", Bytes("2")}}},
                                 {"x/y", {}, {{"z.txt", Bytes("3")}}}},
                                {{"DATA\\three.txt", Bytes("3")}}});
    auto index = std::make_shared<TArchiveIndex>();
    ASSERT_TRUE(ReadArchiveIndex(false, dir / "mixed.pak", *index, nullptr));
    TStringList_2_TTreeView_proba(index, &tree, "", -1, -1, true);
    EXPECT_EQ(TreeOutline(&tree), (std::vector<std::string>{"Data", "  sub", "    two.txt", "  one.txt", "  three.txt",
                                                            "x", "  y", "    z.txt"}));
    const QTreeWidgetItem* data = tree.topLevelItem(0);
    EXPECT_EQ(tree.ArchivePathOf(data->child(0)->child(0)), "data\\sub\\two.txt");
    EXPECT_EQ(tree.ArchivePathOf(data->child(2)), "DATA\\three.txt");
}

TEST_F(ContentsTreeTest, FileNodesCarryTheirEntrysNumberInTheIndex) {
    Fill({"b\\x.txt", "a\\y.txt", "top.txt"});
    const QTreeWidgetItem* a = tree.topLevelItem(0);
    const QTreeWidgetItem* b = tree.topLevelItem(1);
    EXPECT_EQ(a->child(0)->data(0, kEntryRole).toLongLong(), 1);
    EXPECT_EQ(b->child(0)->data(0, kEntryRole).toLongLong(), 0);
    EXPECT_EQ(tree.topLevelItem(2)->data(0, kEntryRole).toLongLong(), 2);
    EXPECT_FALSE(a->data(0, kEntryRole).isValid()) << "a folder stands for no entry";
}

TEST_F(ContentsTreeTest, RootCaptionHoldsTheTopLevelEntries) {
    Fill({"dir\\f.txt", "g.txt"}, true, "archive");
    EXPECT_EQ(TreeOutline(&tree), (std::vector<std::string>{"archive", "  dir", "    f.txt", "  g.txt"}));
    EXPECT_EQ(tree.topLevelItem(0)->data(0, kImageIndexRole).toInt(), 0);
    EXPECT_EQ(tree.topLevelItem(0)->data(0, kSelectedImageIndexRole).toInt(), 1);
}

TEST_F(ContentsTreeTest, FoldersShowFolderIconsAndFilesShowBooksOpenWhileSelected) {
    Fill({"dir\\f.txt"});
    QTreeWidgetItem* folder = tree.topLevelItem(0);
    QTreeWidgetItem* file = folder->child(0);
    EXPECT_EQ(folder->data(0, kImageIndexRole).toInt(), kImageClosedFolder);
    EXPECT_EQ(folder->data(0, kSelectedImageIndexRole).toInt(), kImageOpenFolder);
    EXPECT_EQ(file->data(0, kImageIndexRole).toInt(), kImageClosedBook);
    EXPECT_EQ(file->data(0, kSelectedImageIndexRole).toInt(), kImageOpenBook);

    const QSize size(16, 16);
    EXPECT_TRUE(SamePixels(folder->icon(0).pixmap(size, QIcon::Normal), images[kImageClosedFolder]));
    EXPECT_TRUE(SamePixels(folder->icon(0).pixmap(size, QIcon::Selected), images[kImageOpenFolder]));
    EXPECT_TRUE(SamePixels(file->icon(0).pixmap(size, QIcon::Normal), images[kImageClosedBook]));
    EXPECT_TRUE(SamePixels(file->icon(0).pixmap(size, QIcon::Selected), images[kImageOpenBook]));
}

TEST_F(ContentsTreeTest, NodesStartCollapsedAndCannotBeEdited) {
    Fill({"dir\\f.txt"});
    QTreeWidgetItem* folder = tree.topLevelItem(0);
    EXPECT_FALSE(folder->isExpanded());
    EXPECT_FALSE(folder->flags() & Qt::ItemIsEditable);
    EXPECT_FALSE(folder->child(0)->flags() & Qt::ItemIsEditable);
}

TEST_F(ContentsTreeTest, RepaintingIsOnAgainAfterTheFill) {
    Fill({"dir\\f.txt"});
    EXPECT_TRUE(tree.updatesEnabled());
}

TEST_F(ContentsTreeTest, NamesThatAreNotUtf8ShowAsWindows1252UnderTheirFolder) {
    Fill({"Gr\xE4" "ber\\M\xFCll.txt", "Gr\xE4" "ber\\zwei.txt"});
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    const QTreeWidgetItem* folder = tree.topLevelItem(0);
    EXPECT_EQ(folder->text(0), QString::fromUtf16(u"Gr\u00E4ber"));
    ASSERT_EQ(folder->childCount(), 2);
    EXPECT_EQ(folder->child(0)->text(0), QString::fromUtf16(u"M\u00FCll.txt"));
    EXPECT_EQ(folder->child(1)->text(0), QStringLiteral("zwei.txt"));
}

TEST(DisplayName, EachByteOfANameThatIsNotUtf8ShowsAsItsWindows1252Character) {
    const std::vector<std::pair<std::string, std::u16string>> cases = {
        {"\x80", u"\u20AC"}, {"\x85", u"\u2026"}, {"\x8A", u"\u0160"}, {"\x92", u"\u2019"}, {"\x9F", u"\u0178"},
        {"\x81", u"\u0081"}, {"\xA0", u"\u00A0"}, {"\xFF", u"\u00FF"}, {"a\x96" "b", u"a\u2013b"}};
    for (const auto& [bytes, shown] : cases) EXPECT_EQ(DisplayName(bytes), QString::fromStdU16String(shown)) << bytes;
}

TEST(DisplayName, ValidUtf8AndPlainAsciiShowUnchanged) {
    EXPECT_EQ(DisplayName("plain.txt"), QStringLiteral("plain.txt"));
    EXPECT_EQ(DisplayName("\xE2\x82\xAC"), QString::fromUtf16(u"\u20AC"));
    EXPECT_EQ(DisplayName(""), QString());
}

TEST_F(FormTest, AnOpenedArchivesWindows1252NameShowsDecodedAndExtractsUnderItsOwnBytes) {
    const std::string name = "M\xE4rchen.txt";
    WriteTestArchive(temp / "tales.pak", TestFolder{"", {}, {{name, Bytes("once")}}});
    CreateForm();
    SetText("Edit1", temp / "tales.pak");
    QTest::keyClick(Edit("Edit1"), Qt::Key_Return);
    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(Tree()->topLevelItem(0)->text(0), QString::fromUtf16(u"M\u00E4rchen.txt"));

    SetText("Edit2", temp / "out");
    Button("Button_XtractAll")->click();
    EXPECT_EQ(ReadFileText(temp / ("out/" + name)), "once");
}

TEST(TreeImages, NineSixteenPixelSlotsWithTheFirstFourDrawnAndTheLastTwoEmpty) {
    const TImageList images = CreateTreeImageList();
    ASSERT_EQ(images.size(), 9u);
    const auto blank = [](const QPixmap& p) {
        const QImage image = p.toImage();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) != 0) return false;
        return true;
    };
    for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(images[i].size(), QSize(16, 16)) << i;
        EXPECT_EQ(blank(images[i]), i >= 7) << i;
    }
    EXPECT_NE(images[kImageClosedFolder].toImage(), images[kImageOpenFolder].toImage());
    EXPECT_NE(images[kImageClosedBook].toImage(), images[kImageOpenBook].toImage());
}

// A crafted archive may nest folders as deeply as its directory's bytes allow: filling the
// tree, totalling a folder for its tip, naming the deepest folder, filtering and removing
// every node keep to a stack of their own, and to memory that follows the names.
TEST_F(ContentsTreeTest, FoldersNestedThreeHundredThousandDeepAreShownTotalledFilteredAndRemoved) {
    constexpr int kDepth = 300000;
    std::string path;
    for (int level = 0; level < kDepth; ++level) path += "d\\";
    const TempDir dir;
    WriteFile(dir / "deep.pak", ChainArchive(kDepth, false));
    auto index = std::make_shared<TArchiveIndex>();
    ASSERT_TRUE(ReadArchiveIndex(false, dir / "deep.pak", *index, nullptr));
    TStringList_2_TTreeView_proba(index, &tree, "", -1, -1, true);
    QTreeWidgetItem* deepest = tree.topLevelItem(0);
    int depth = 1;
    while (deepest->childCount() > 0 && !TContentsTree::IsFileNode(deepest->child(0))) {
        deepest = deepest->child(0);
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(tree.ArchivePathOf(deepest) + "\\", path);
    EXPECT_EQ(tree.ToolTipOf(tree.topLevelItem(0)).substr(0, 7), "1 file\n");
    tree.SetFilter("D\\F");
    EXPECT_FALSE(deepest->child(0)->isHidden());
    tree.SetFilter("nothing");
    EXPECT_TRUE(tree.topLevelItem(0)->isHidden());
    tree.SetFilter("");
    tree.setCurrentItem(tree.topLevelItem(0));
    QTest::keyClick(&tree, Qt::Key_Asterisk);
    EXPECT_TRUE(tree.topLevelItem(0)->child(0)->isExpanded());
    Fill({"a.txt"});
    EXPECT_EQ(TreeOutline(&tree), (std::vector<std::string>{"a.txt"}));
}
