#include "ui/tree_node.h"

TTreeNode::TTreeNode(const QString& text, const TNodeIcons& icons, int imageIndex, int selectedIndex)
    : QTreeWidgetItem(QStringList{text}, QTreeWidgetItem::UserType),
      icons_(icons),
      imageIndex_(imageIndex),
      selectedIndex_(selectedIndex) {}

QVariant TTreeNode::data(int column, int role) const {
    if (column == 0) {
        if (role == kImageIndexRole) return imageIndex_;
        if (role == kSelectedImageIndexRole) return selectedIndex_;
        if (role == kEntryRole) return entry_ < 0 ? QVariant() : QVariant(static_cast<qlonglong>(entry_));
        if (role == Qt::DecorationRole) return icons_.Icon(imageIndex_, selectedIndex_);
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
