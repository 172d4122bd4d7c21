#include "ui/tree_node.h"

#include "ui/contents_tree.h"

TTreeNode::TTreeNode(const QString& text, int imageIndex, int selectedIndex)
    : QTreeWidgetItem(QStringList{text}, QTreeWidgetItem::UserType),
      imageIndex_(imageIndex),
      selectedIndex_(selectedIndex) {}

QVariant TTreeNode::data(int column, int role) const {
    if (column == 0) {
        if (role == kImageIndexRole) return imageIndex_;
        if (role == kSelectedImageIndexRole) return selectedIndex_;
        if (role == kEntryRole) return entry_ < 0 ? QVariant() : QVariant(static_cast<qlonglong>(entry_));
        if (role == Qt::DecorationRole) {
            const auto* tree = dynamic_cast<const TContentsTree*>(treeWidget());
            if (tree != nullptr) return tree->NodeIcon(imageIndex_, selectedIndex_);
        }
    }
    return QTreeWidgetItem::data(column, role);
}

void TTreeNode::setData(int column, int role, const QVariant& value) {
    if (column == 0 && role == kEntryRole) {
        entry_ = value.isValid() ? value.toLongLong() : -1;
        return;
    }
    QTreeWidgetItem::setData(column, role, value);
}
