#include "ui/tree_columns.h"

#include <QHeaderView>

#include "support/collation.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "ui/contents_tree.h"
#include "ui/text_bridge.h"
#include "ui/tree_node.h"

namespace {

constexpr int kNumberColumnWidth = 72;

std::string FileName(const std::string& path) {
    const size_t last = path.find_last_of("/\\");
    return last == std::string::npos ? path : path.substr(last + 1);
}

}  // namespace

QString PersonSize(int64_t bytes) {
    if (bytes < 1024) return QString::number(bytes) + QStringLiteral(" B");
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    int unit = -1;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return QString::number(value, 'f', value < 10 ? 1 : 0) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

TTreeColumns::TTreeColumns(TContentsTree& tree) : QObject(&tree), tree_(tree) {
    tree_.header()->setSectionsClickable(false);
    connect(tree_.header(), &QHeaderView::sectionClicked, this, &TTreeColumns::HeaderClicked);
    UpdateHeader();
}

void TTreeColumns::NameArchive(const std::string& path, int64_t fileCount) {
    archive_ = path;
    fileCount_ = fileCount;
    UpdateHeader();
}

void TTreeColumns::SetDetails(bool on) {
    if (on == details_) return;
    details_ = on;
    // Without the columns the tree shows the fill's own order again.
    if (!on && sortColumn_ >= 0) Sort(kName, Qt::AscendingOrder);
    if (!on) sortColumn_ = -1;
    UpdateHeader();
}

void TTreeColumns::UpdateHeader() {
    QHeaderView* header = tree_.header();
    tree_.setColumnCount(details_ ? kDetailsColumns : 1);
    QTreeWidgetItem* labels = tree_.headerItem();
    labels->setText(kName, archive_.empty() ? QStringLiteral("Name") : QStr(FileName(archive_)));
    labels->setToolTip(kName, archive_.empty() ? QString()
                                               : QStr(archive_ + "\n" + GroupThousands(fileCount_) +
                                                      (fileCount_ == 1 ? " file" : " files")));
    if (details_) {
        labels->setText(kSize, QStringLiteral("Size"));
        labels->setText(kPacked, QStringLiteral("Packed"));
        labels->setText(kRatio, QStringLiteral("Ratio"));
        header->setStretchLastSection(false);
        header->setSectionResizeMode(kName, QHeaderView::Stretch);
        for (int column = kSize; column < kDetailsColumns; ++column) {
            header->setSectionResizeMode(column, QHeaderView::Interactive);
            header->resizeSection(column, kNumberColumnWidth);
            labels->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        }
    } else {
        header->setStretchLastSection(true);
    }
    header->setSectionsClickable(details_);
    header->setSortIndicatorShown(details_ && sortColumn_ >= 0);
    tree_.setHeaderHidden(archive_.empty() && !details_);
}

TTreeColumns::TTotals TTreeColumns::TotalsOf(const QTreeWidgetItem* item) const {
    if (TContentsTree::IsFileNode(item)) {
        const TContentsTree::TNodeTotals sums = tree_.TotalsOf(item);
        return {sums.size, sums.packed};
    }
    const auto kept = totals_.find(item);
    if (kept != totals_.end()) return kept->second;
    const TContentsTree::TNodeTotals sums = tree_.TotalsOf(item);
    return totals_.emplace(item, TTotals{sums.size, sums.packed}).first->second;
}

int64_t TTreeColumns::RatioOf(const TTotals& totals) {
    if (totals.size <= 0) return -1;
    return (totals.packed * 1000 + totals.size / 2) / totals.size;
}

QString TTreeColumns::Text(const QTreeWidgetItem* item, int column) const {
    if (!details_ || column <= kName || column >= kDetailsColumns) return QString();
    const TTotals totals = TotalsOf(item);
    if (column == kSize) return PersonSize(totals.size);
    if (column == kPacked) return PersonSize(totals.packed);
    const int64_t ratio = RatioOf(totals);
    if (ratio < 0) return QString();
    return QString::number(static_cast<double>(ratio) / 10, 'f', 1) + QLatin1Char('%');
}

bool TTreeColumns::Less(const QTreeWidgetItem* a, const QTreeWidgetItem* b, int column) const {
    const bool aFile = TContentsTree::IsFileNode(a);
    const bool bFile = TContentsTree::IsFileNode(b);
    // Folders stay above files whichever way a column sorts.
    if (aFile != bFile) return (sortOrder_ == Qt::AscendingOrder) == bFile;
    if (column == kName || column < 0 || column >= kDetailsColumns) {
        if (aFile) return a->data(0, kEntryRole).toLongLong() < b->data(0, kEntryRole).toLongLong();
        return CompareTextNoCase(a->data(0, kFolderNameRole).toByteArray().toStdString(),
                                 b->data(0, kFolderNameRole).toByteArray().toStdString()) < 0;
    }
    const TTotals ta = TotalsOf(a);
    const TTotals tb = TotalsOf(b);
    if (column == kSize) return ta.size < tb.size;
    if (column == kPacked) return ta.packed < tb.packed;
    return RatioOf(ta) < RatioOf(tb);
}

void TTreeColumns::HeaderClicked(int column) {
    if (!details_) return;
    const Qt::SortOrder order = column == sortColumn_ && sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                                           : Qt::AscendingOrder;
    Sort(column, order);
    UpdateHeader();
}

void TTreeColumns::Sort(int column, Qt::SortOrder order) {
    sortColumn_ = column;
    sortOrder_ = order;
    // The filter knows rows by their places, which the sort changes: it lets go of them, the
    // end of the "fill" sorts (SortAgain), and the filter applies again.
    tree_.BeginFill(false);
    tree_.EndFill();
}

void TTreeColumns::SortAgain() {
    if (sortColumn_ >= 0) tree_.sortItems(sortColumn_, sortOrder_);
}
