// A node of the contents tree.
#pragma once

#include <QTreeWidgetItem>
#include <cstdint>

#include "ui/tree_images.h"

// Item data roles that carry a node's image indices into the tree's image list, and a file
// node's entry: its number in the index the tree was filled from (after the entries of the
// indexes kept before it, when a fill adds to the tree).
inline constexpr int kImageIndexRole = Qt::UserRole + 1;
inline constexpr int kSelectedImageIndexRole = Qt::UserRole + 2;
inline constexpr int kEntryRole = Qt::UserRole + 3;
// A folder node's own name in the archive, as bytes.
inline constexpr int kFolderNameRole = Qt::UserRole + 4;

// What a node shows in the columns after its name, and how two nodes sort by a column: the
// tree that holds the nodes tells.
class TNodeColumnSource {
public:
    virtual QString ColumnText(const QTreeWidgetItem* item, int column) const = 0;
    virtual bool ColumnLess(const QTreeWidgetItem* a, const QTreeWidgetItem* b, int column) const = 0;

protected:
    ~TNodeColumnSource() = default;
};

// A node that keeps its images and its entry as plain members and gives them, and its icon
// (the shared one of the tree's icons for those images), as item data when asked. A tree of a million files
// would otherwise hold four data records of 40 bytes each per node, and its icon besides.
class TTreeNode : public QTreeWidgetItem {
public:
    TTreeNode(const QString& text, const TNodeIcons& icons, int imageIndex, int selectedIndex);

    QVariant data(int column, int role) const override;
    void setData(int column, int role, const QVariant& value) override;
    bool operator<(const QTreeWidgetItem& other) const override;

private:
    const TNodeIcons& icons_;
    int64_t entry_ = -1;
    int imageIndex_;
    int selectedIndex_;
};
