#include "ui/tree_node.h"

#include <QTreeWidget>

namespace {

const TNodeColumnSource* ColumnSource(const QTreeWidgetItem& item) {
    return dynamic_cast<const TNodeColumnSource*>(item.treeWidget());
}

}  // namespace

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
    } else if (role == Qt::DisplayRole) {
        // Made as the row is painted: a million nodes keep no texts for their columns.
        const TNodeColumnSource* source = ColumnSource(*this);
        return source != nullptr ? QVariant(source->ColumnText(this, column)) : QVariant();
    } else if (role == Qt::TextAlignmentRole) {
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
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

bool TTreeNode::operator<(const QTreeWidgetItem& other) const {
    const TNodeColumnSource* source = ColumnSource(*this);
    if (source == nullptr) return QTreeWidgetItem::operator<(other);
    return source->ColumnLess(this, &other, treeWidget()->sortColumn());
}
