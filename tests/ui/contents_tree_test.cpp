// Filling the contents tree from a listing.
#include "form_fixture.h"
#include "ui/tree_images.h"

namespace {

constexpr int32_t kPrefix = 45;

TStringList Listing(const std::vector<std::string>& paths) {
    TStringList lines;
    for (const std::string& path : paths) lines.push_back(ListingLine(path));
    return lines;
}

class ContentsTreeTest : public ::testing::Test {
protected:
    TImageList images = CreateTreeImageList();
    TContentsTree tree{images};

    void Fill(const std::vector<std::string>& paths, bool clearFirst = true, const std::string& root = "") {
        TStringList_2_TTreeView_proba(Listing(paths), kPrefix, 0, &tree, root, -1, -1, clearFirst);
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
