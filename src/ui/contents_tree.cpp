#include "ui/contents_tree.h"

#include <QHelpEvent>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QToolTip>
#include <algorithm>
#include <memory>

#include "engine/hash_tag.h"
#include "engine/listed_entry.h"
#include "support/collation.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "ui/text_bridge.h"

namespace {

// The platform style, except that branches are drawn with dotted lines and +/- boxes.
class TTreeLinesStyle : public QProxyStyle {
public:
    TTreeLinesStyle() : lines_(QStyleFactory::create("Windows")) {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element == PE_IndicatorBranch && lines_) {
            lines_->drawPrimitive(element, option, painter, widget);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

private:
    std::unique_ptr<QStyle> lines_;
};

// Position of path in the sorted folder list, compared without regard to case; -1 if absent.
int FindFolder(const TStringList& folderList, const std::string& path) {
    const auto less = [](const std::string& a, const std::string& b) { return CompareTextNoCase(a, b) < 0; };
    const auto found = std::lower_bound(folderList.begin(), folderList.end(), path, less);
    if (found == folderList.end() || CompareTextNoCase(*found, path) != 0) return -1;
    return static_cast<int>(found - folderList.begin());
}

// Folder nodes, one per folder-list entry, each stored in its entry's slot. An entry whose
// parent is missing from the list, or does not stand before it, gets no node.
std::vector<QTreeWidgetItem*> AddFolderNodes(TContentsTree* tree, const TStringList& folderList,
                                             QTreeWidgetItem* root) {
    std::vector<QTreeWidgetItem*> folderNodes(folderList.size(), nullptr);
    for (size_t j = 0; j < folderList.size(); ++j) {
        std::string path = folderList[j];
        StripTrailingBackslashes(path);
        std::string parent, name;
        SplitAtLastBackslash(path, parent, name);
        if (parent.empty()) {
            folderNodes[j] = tree->AddNode(root, name, kImageClosedFolder, kImageOpenFolder);
            continue;
        }
        const int p = FindFolder(folderList, parent + "\\");
        if (p < 0 || static_cast<size_t>(p) >= j) continue;
        folderNodes[j] = tree->AddNode(folderNodes[p], name, kImageClosedFolder, kImageOpenFolder);
    }
    return folderNodes;
}

void AddFileNodes(TContentsTree* tree, const TStringList& listing, int32_t prefixLength, int32_t suffixLength,
                  const TStringList& folderList, const std::vector<QTreeWidgetItem*>& folderNodes,
                  QTreeWidgetItem* root, int firstLine) {
    for (size_t k = 0; k < listing.size(); ++k) {
        std::string path = CutLine(listing[k], prefixLength, suffixLength);
        SlashesToBackslashes(path);
        std::string folder, name;
        SplitAtLastBackslash(path, folder, name);
        QTreeWidgetItem* parent = root;
        if (!folder.empty()) {
            const int p = FindFolder(folderList, folder + "\\");
            if (p < 0) continue;
            parent = folderNodes[p];
        }
        tree->AddNode(parent, name, kImageClosedBook, kImageOpenBook)
            ->setData(0, kListingLineRole, firstLine + static_cast<int>(k));
    }
}

std::string Bytes(int64_t count) { return GroupThousands(count) + (count == 1 ? " byte" : " bytes"); }

struct TNodeTotals {
    int64_t files = 0;
    int64_t size = 0;
    int64_t packed = 0;
};

void SumFiles(const QTreeWidgetItem* item, const TStringList& listing, TNodeTotals& totals) {
    const QVariant line = item->data(0, kListingLineRole);
    if (line.isValid()) {
        const auto k = static_cast<size_t>(line.toInt());
        if (k >= listing.size()) return;
        const TArchiveEntry entry = EntryOfListingLine(listing[k]);
        ++totals.files;
        totals.size += std::max<int32_t>(entry.unpackedSize, 0);
        totals.packed += std::max<int32_t>(entry.packedSize, 0);
        return;
    }
    for (int i = 0; i < item->childCount(); ++i) SumFiles(item->child(i), listing, totals);
}

}  // namespace

TContentsTree::TContentsTree(const TImageList& images, QWidget* parent) : QTreeWidget(parent), images_(images) {
    auto* style = new TTreeLinesStyle;
    style->setParent(this);
    setStyle(style);
    setColumnCount(1);
    setHeaderHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setRootIsDecorated(true);
    setItemsExpandable(true);
    setSortingEnabled(false);
    setIconSize(QSize(kTreeImageSize, kTreeImageSize));
    // The style's own frame: a plain sunken panel draws its lower and right edges in the
    // light colour, which vanishes against the tree's white.
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
}

QIcon TContentsTree::NodeIcon(int imageIndex, int selectedIndex) const {
    QIcon icon;
    const auto valid = [this](int i) { return i >= 0 && static_cast<size_t>(i) < images_.size(); };
    if (valid(imageIndex)) icon.addPixmap(images_[imageIndex], QIcon::Normal);
    if (valid(selectedIndex)) icon.addPixmap(images_[selectedIndex], QIcon::Selected);
    return icon;
}

QTreeWidgetItem* TContentsTree::AddNode(QTreeWidgetItem* parent, const std::string& text, int imageIndex,
                                        int selectedIndex) {
    auto* item = new QTreeWidgetItem(QStringList{DisplayName(text)});
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setData(0, kImageIndexRole, imageIndex);
    item->setData(0, kSelectedImageIndexRole, selectedIndex);
    item->setIcon(0, NodeIcon(imageIndex, selectedIndex));
    if (parent != nullptr) parent->addChild(item);
    else addTopLevelItem(item);
    return item;
}

int TContentsTree::KeepListing(const TStringList& listing, bool replace) {
    if (replace) listing_.clear();
    const auto first = static_cast<int>(listing_.size());
    listing_.insert(listing_.end(), listing.begin(), listing.end());
    return first;
}

std::string TContentsTree::ToolTipOf(const QTreeWidgetItem* item) const {
    if (item == nullptr) return "";
    const QVariant line = item->data(0, kListingLineRole);
    if (line.isValid()) {
        const auto k = static_cast<size_t>(line.toInt());
        if (k >= listing_.size()) return "";
        const TArchiveEntry entry = EntryOfListingLine(listing_[k]);
        return "Size: " + Bytes(entry.unpackedSize) + "\nPacked: " + Bytes(entry.packedSize) +
               "\nHash tag: " + TagToText(PathHashTag(entry.path));
    }
    TNodeTotals totals;
    SumFiles(item, listing_, totals);
    return GroupThousands(totals.files) + (totals.files == 1 ? " file" : " files") + "\nSize: " + Bytes(totals.size) +
           "\nPacked: " + Bytes(totals.packed);
}

bool TContentsTree::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QTreeWidget::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const std::string tip = ToolTipOf(itemAt(help->pos()));
    if (tip.empty()) QToolTip::hideText();
    else QToolTip::showText(help->globalPos(), QString::fromUtf8(tip.c_str()), viewport());
    return true;
}

void TStringList_2_TTreeView_proba(const TStringList& listing, int32_t prefixLength, int32_t suffixLength,
                                   TContentsTree* tree, const std::string& rootCaption, int rootImageIndex,
                                   int rootSelectedIndex, bool clearFirst) {
    if (tree == nullptr) return;
    if (clearFirst) tree->clear();
    const int firstLine = tree->KeepListing(listing, clearFirst);

    TStringList folderList;
    CollectDirPrefixes(listing, folderList, prefixLength, suffixLength);

    QTreeWidgetItem* root = nullptr;
    if (!rootCaption.empty())
        root = tree->AddNode(nullptr, rootCaption, rootImageIndex < 0 ? kImageClosedFolder : rootImageIndex,
                             rootSelectedIndex < 0 ? kImageOpenFolder : rootSelectedIndex);

    // Thousands of nodes appear in one step instead of one repaint each.
    tree->setUpdatesEnabled(false);
    const std::vector<QTreeWidgetItem*> folderNodes = AddFolderNodes(tree, folderList, root);
    AddFileNodes(tree, listing, prefixLength, suffixLength, folderList, folderNodes, root, firstLine);
    tree->setUpdatesEnabled(true);
}
