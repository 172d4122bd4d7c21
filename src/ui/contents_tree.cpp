#include "ui/contents_tree.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QHelpEvent>
#include <QMimeData>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QToolTip>
#include <algorithm>
#include <memory>
#include <unordered_map>

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
        QTreeWidgetItem* parentNode = root;
        if (!parent.empty()) {
            const int p = FindFolder(folderList, parent + "\\");
            if (p < 0 || static_cast<size_t>(p) >= j) continue;
            parentNode = folderNodes[p];
        }
        folderNodes[j] = tree->AddNode(parentNode, name, kImageClosedFolder, kImageOpenFolder);
        folderNodes[j]->setData(0, kFolderPathRole, QByteArray::fromStdString(path));
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
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Entries are dragged out to the file manager and files dropped in from it; nodes never
    // move within the tree.
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
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
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
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
    tree->BeginFill(clearFirst);
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
    tree->EndFill();
}

void TContentsTree::BeginFill(bool clearFirst) {
    filter_.ForgetItems(!clearFirst);
    if (clearFirst) clear();
}

void TContentsTree::EndFill() {
    if (filter_.Active()) filter_.Apply(filter_.Text());
}

bool TContentsTree::IsFileNode(const QTreeWidgetItem* item) {
    return item != nullptr && item->data(0, kListingLineRole).isValid();
}

std::string TContentsTree::ArchivePathOf(const QTreeWidgetItem* item) const {
    if (item == nullptr) return "";
    if (!IsFileNode(item)) return item->data(0, kFolderPathRole).toByteArray().toStdString();
    const auto k = static_cast<size_t>(item->data(0, kListingLineRole).toInt());
    if (k >= listing_.size()) return "";
    std::string path = EntryOfListingLine(listing_[k]).path;
    SlashesToBackslashes(path);
    return path;
}

std::string TContentsTree::FolderOf(const QTreeWidgetItem* item) const {
    if (item == nullptr) return "";
    if (!IsFileNode(item)) return ArchivePathOf(item);
    std::string folder, name;
    SplitAtLastBackslash(ArchivePathOf(item), folder, name);
    return folder;
}

namespace {

// The selected nodes that lie in no selected folder.
std::vector<const QTreeWidgetItem*> OutermostSelected(const QTreeWidget& tree) {
    const QList<QTreeWidgetItem*> items = tree.selectedItems();
    const QSet<const QTreeWidgetItem*> chosen(items.begin(), items.end());
    std::vector<const QTreeWidgetItem*> outermost;
    for (const QTreeWidgetItem* item : items) {
        bool inChosen = false;
        for (const QTreeWidgetItem* up = item->parent(); up != nullptr && !inChosen; up = up->parent())
            inChosen = chosen.contains(up);
        if (!inChosen) outermost.push_back(item);
    }
    return outermost;
}

}  // namespace

QTreeWidgetItem* TContentsTree::SingleSelected() const {
    const QList<QTreeWidgetItem*> items = selectedItems();
    return items.size() == 1 ? items.front() : nullptr;
}

int64_t TContentsTree::SelectedFileCount() const {
    TNodeTotals totals;
    for (const QTreeWidgetItem* item : OutermostSelected(*this)) SumFiles(item, listing_, totals);
    return totals.files;
}

std::vector<TTreeEntry> TContentsTree::SelectedEntries() const {
    std::vector<TTreeEntry> entries;
    for (const QTreeWidgetItem* item : OutermostSelected(*this)) {
        const std::string path = ArchivePathOf(item);
        if (!path.empty()) entries.push_back({path, IsFileNode(item)});
    }
    std::sort(entries.begin(), entries.end(),
              [](const TTreeEntry& a, const TTreeEntry& b) { return CompareTextNoCase(a.path, b.path) < 0; });
    return entries;
}

namespace {

// Every node below the top, depth first.
template <class TVisit>
void VisitNodes(const QTreeWidget& tree, TVisit visit) {
    std::vector<QTreeWidgetItem*> pending;
    for (int i = tree.topLevelItemCount() - 1; i >= 0; --i) pending.push_back(tree.topLevelItem(i));
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        visit(item);
        for (int c = item->childCount() - 1; c >= 0; --c) pending.push_back(item->child(c));
    }
}

}  // namespace

TTreeState TContentsTree::SaveState() const {
    TTreeState state;
    if (filter_.Active()) {
        for (const QTreeWidgetItem* item : filter_.ExpandedBefore()) state.expanded.push_back(ArchivePathOf(item));
    } else {
        VisitNodes(*this, [&](const QTreeWidgetItem* item) {
            if (item->childCount() > 0 && !IsFileNode(item) && item->isExpanded())
                state.expanded.push_back(ArchivePathOf(item));
        });
    }
    for (const QTreeWidgetItem* item : selectedItems()) state.selected.push_back(ArchivePathOf(item));
    state.current = ArchivePathOf(currentItem());
    return state;
}

void TContentsTree::RestoreState(const TTreeState& state) {
    // The state is the unfiltered tree's: the filter steps aside while it is set.
    const QString filterText = filter_.Text();
    filter_.Apply(QString());
    std::unordered_map<std::string, QTreeWidgetItem*> byPath;
    VisitNodes(*this, [&](QTreeWidgetItem* item) { byPath.emplace(ArchivePathOf(item), item); });
    const auto find = [&byPath](const std::string& path) -> QTreeWidgetItem* {
        const auto found = byPath.find(path);
        return found == byPath.end() || path.empty() ? nullptr : found->second;
    };
    for (const std::string& path : state.expanded)
        if (QTreeWidgetItem* item = find(path)) item->setExpanded(true);
    if (QTreeWidgetItem* current = find(state.current)) setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    clearSelection();
    for (const std::string& path : state.selected)
        if (QTreeWidgetItem* item = find(path)) item->setSelected(true);
    filter_.Apply(filterText);
}

void TContentsTree::SetFilter(const QString& text) { filter_.Apply(text); }

void TContentsTree::SetDragHandlers(TDragOutProc dragOut, TDropInProc dropIn) {
    dragOut_ = std::move(dragOut);
    dropIn_ = std::move(dropIn);
}

QPoint TContentsTree::KeyboardMenuPoint() const {
    const QTreeWidgetItem* current = currentItem();
    const QRect rect = current != nullptr ? visualItemRect(current) : QRect();
    const QPoint local = rect.isValid() ? rect.bottomLeft() : QPoint(0, 0);
    return viewport()->mapToGlobal(local);
}

void TContentsTree::contextMenuEvent(QContextMenuEvent* event) {
    const bool keyboard = event->reason() == QContextMenuEvent::Keyboard;
    emit ContextMenuAsked(keyboard ? KeyboardMenuPoint() : event->globalPos());
    event->accept();
}

void TContentsTree::keyPressEvent(QKeyEvent* event) {
    // The Menu key and Shift+F10 open the menu below the current entry, on every desktop.
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (event->key() == Qt::Key_Menu || shiftF10) {
        emit ContextMenuAsked(KeyboardMenuPoint());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void TContentsTree::startDrag(Qt::DropActions) {
    if (!dragOut_) return;
    QMimeData* data = dragOut_();
    if (data == nullptr) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
}

bool TContentsTree::TakesDrop(const QDropEvent* event) const {
    if (!dropIn_ || event->source() == this || !event->mimeData()->hasUrls()) return false;
    const QList<QUrl> urls = event->mimeData()->urls();
    return !urls.isEmpty() && std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

void TContentsTree::dragEnterEvent(QDragEnterEvent* event) {
    if (TakesDrop(event)) event->acceptProposedAction();
    else event->ignore();
}

void TContentsTree::dragMoveEvent(QDragMoveEvent* event) {
    if (TakesDrop(event)) event->acceptProposedAction();
    else event->ignore();
}

void TContentsTree::dropEvent(QDropEvent* event) {
    if (!TakesDrop(event)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    dropIn_(event->mimeData()->urls(), itemAt(event->position().toPoint()));
}
