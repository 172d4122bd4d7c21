// The contents tree's header and its columns: the header names the archive the tree shows
// (its path and file count in the header's tool tip), and the Details view adds the columns
// Size, Packed and Ratio, sorted by a click on their headers. A column's text is made only
// when its row is painted, and a folder's totals once, so a tree of a million files costs
// nothing more to fill.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <string>
#include <unordered_map>

class QTreeWidgetItem;
class TContentsTree;

// A size as a person reads it: bytes below 1 KiB, else KiB, MiB, GiB or TiB with one
// decimal below ten.
QString PersonSize(int64_t bytes);

class TTreeColumns : public QObject {
    Q_OBJECT
public:
    enum TColumn { kName = 0, kSize = 1, kPacked = 2, kRatio = 3, kDetailsColumns = 4 };

    explicit TTreeColumns(TContentsTree& tree);

    // The archive the tree shows, named on the header; "" for none, which hides the header
    // unless the Details view shows it.
    void NameArchive(const std::string& path, int64_t fileCount);
    void SetDetails(bool on);
    bool Details() const { return details_; }

    // A node's text in a column after its name ("" in column 0 and without Details).
    QString Text(const QTreeWidgetItem* item, int column) const;
    // Folders before files; then, by name, folders in their case-insensitive order and files
    // in the archive's own, which is the order a fill gives; else by the column's number.
    bool Less(const QTreeWidgetItem* a, const QTreeWidgetItem* b, int column) const;

    // The nodes are about to change: the totals kept of folders go.
    void ForgetNodes() { totals_.clear(); }
    // Once nodes are added: they are sorted as the header asks.
    void SortAgain();

private:
    struct TTotals {
        int64_t size = 0;
        int64_t packed = 0;
    };
    TTotals TotalsOf(const QTreeWidgetItem* item) const;
    // A ratio in tenths of a percent, -1 for nothing to compress.
    static int64_t RatioOf(const TTotals& totals);
    void UpdateHeader();
    void HeaderClicked(int column);
    void Sort(int column, Qt::SortOrder order);

    TContentsTree& tree_;
    std::string archive_;
    int64_t fileCount_ = 0;
    bool details_ = false;
    int sortColumn_ = -1;  // -1: the fill's own order
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    mutable std::unordered_map<const QTreeWidgetItem*, TTotals> totals_;
};
