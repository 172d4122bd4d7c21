// The archive contents tree: folders and files of the last archive opened, for looking only.
#pragma once

#include <QTreeWidget>
#include <cstdint>
#include <string>

#include "support/bytes.h"
#include "ui/tree_images.h"

// Item data roles that carry a node's image indices into the tree's image list, and a file
// node's line of the listing the tree was filled from.
inline constexpr int kImageIndexRole = Qt::UserRole + 1;
inline constexpr int kSelectedImageIndexRole = Qt::UserRole + 2;
inline constexpr int kListingLineRole = Qt::UserRole + 3;

class TContentsTree : public QTreeWidget {
    Q_OBJECT
public:
    // images must outlive the tree.
    explicit TContentsTree(const TImageList& images, QWidget* parent = nullptr);

    // Adds text as the last child of parent, or at the top level when parent is null. The
    // node shows image imageIndex, and image selectedIndex while it is selected. text is a
    // name's bytes as the archive holds them; see DisplayName for how they are shown.
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const std::string& text, int imageIndex, int selectedIndex);

    // Keeps the listing the file nodes' lines index, for their tool tips: in place of the one
    // kept, or after it. Returns the index its first line gets.
    int KeepListing(const TStringList& listing, bool replace);

    // A file's size, packed size and hash tag; a folder's file count and total sizes. Made
    // when the tip is asked for, so that filling the tree costs nothing for them.
    std::string ToolTipOf(const QTreeWidgetItem* item) const;

protected:
    bool viewportEvent(QEvent* event) override;

private:
    QIcon NodeIcon(int imageIndex, int selectedIndex) const;

    const TImageList& images_;
    TStringList listing_;
};

// Fills tree from a listing: folder nodes for every folder that holds a file (subfolders
// first, in case-insensitive order), then every file under its folder in listing order.
// prefixLength and suffixLength are the characters cut from each line to reach the path.
// With a root caption the top-level entries hang below a root node with the given images
// (0 and 1 when negative).
void TStringList_2_TTreeView_proba(const TStringList& listing, int32_t prefixLength, int32_t suffixLength,
                                   TContentsTree* tree, const std::string& rootCaption, int rootImageIndex,
                                   int rootSelectedIndex, bool clearFirst);
