#include "ui/contents_tree.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QHelpEvent>
#include <QMimeData>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QToolTip>
#include <algorithm>
#include <map>
#include <memory>
#include <unordered_map>

#include "engine/hash_tag.h"
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

struct TNoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return CompareTextNoCase(a, b) < 0; }
};

// The folders of a listing, each once, as a tree of names. Two names that compare equal
// without regard to case are one folder, spelled as it first appeared; a folder's
// sub-folders are in the case-insensitive order of their names followed by "\\", which is
// the order of their whole paths. Each folder costs its own name, however deep it lies.
class TFolderTree {
public:
    struct TFolder {
        std::string name;
        std::map<std::string, size_t, TNoCaseLess> children;  // by name + "\\"
        QTreeWidgetItem* node = nullptr;
    };

    TFolderTree() : folders_(1) {}

    // The folder of a path ("\\" between its parts), made with its parents where missing.
    size_t FolderOf(const std::string& folderPath) {
        // The files of one folder follow each other in a listing.
        if (folderPath == lastPath_) return lastFolder_;
        size_t folder = 0;
        size_t start = 0;
        while (start < folderPath.size()) {
            size_t end = folderPath.find('\\', start);
            if (end == std::string::npos) end = folderPath.size();
            folder = Child(folder, folderPath.substr(start, end - start));
            start = end + 1;
        }
        lastPath_ = folderPath;
        lastFolder_ = folder;
        return folder;
    }

    TFolder& operator[](size_t folder) { return folders_[folder]; }

    // Every folder below the root, each after its parent and its sub-folders in order.
    std::vector<size_t> InOrder() const {
        std::vector<size_t> order;
        std::vector<size_t> pending{0};
        while (!pending.empty()) {
            const size_t folder = pending.back();
            pending.pop_back();
            if (folder != 0) order.push_back(folder);
            const auto& children = folders_[folder].children;
            for (auto child = children.rbegin(); child != children.rend(); ++child) pending.push_back(child->second);
        }
        return order;
    }

    size_t ParentOf(size_t folder) const { return parents_[folder]; }

private:
    size_t Child(size_t folder, std::string name) {
        std::string key = name + "\\";
        const auto found = folders_[folder].children.find(key);
        if (found != folders_[folder].children.end()) return found->second;
        folders_.push_back({std::move(name), {}, nullptr});
        parents_.resize(folders_.size(), 0);
        parents_.back() = folder;
        folders_[folder].children.emplace(std::move(key), folders_.size() - 1);
        return folders_.size() - 1;
    }

    std::vector<TFolder> folders_;
    std::vector<size_t> parents_{0};
    std::string lastPath_;
    size_t lastFolder_ = 0;
};

// Adds a node for every folder of the listing's files, then every file under its folder in
// listing order.
void AddNodes(TContentsTree* tree, const TStringList& listing, int32_t prefixLength, int32_t suffixLength,
              QTreeWidgetItem* root, int firstLine) {
    TFolderTree folders;
    std::vector<size_t> folderOfLine(listing.size());
    std::vector<std::string> nameOfLine(listing.size());
    for (size_t k = 0; k < listing.size(); ++k) {
        std::string path = CutLine(listing[k], prefixLength, suffixLength);
        SlashesToBackslashes(path);
        std::string folder;
        SplitAtLastBackslash(path, folder, nameOfLine[k]);
        folderOfLine[k] = folders.FolderOf(folder);
    }
    for (const size_t folder : folders.InOrder()) {
        TFolderTree::TFolder& record = folders[folder];
        const size_t parent = folders.ParentOf(folder);
        record.node = tree->AddNode(parent == 0 ? root : folders[parent].node, record.name, kImageClosedFolder,
                                    kImageOpenFolder);
        record.node->setData(0, kFolderNameRole, QByteArray::fromStdString(record.name));
    }
    for (size_t k = 0; k < listing.size(); ++k) {
        QTreeWidgetItem* parent = folderOfLine[k] == 0 ? root : folders[folderOfLine[k]].node;
        tree->AddNode(parent, nameOfLine[k], kImageClosedBook, kImageOpenBook)
            ->setData(0, kListingLineRole, firstLine + static_cast<int>(k));
    }
}

// What a line of the listing the tree was filled from tells of its file.
struct TListedFile {
    std::string path;
    int32_t packedSize = 0;
    int32_t unpackedSize = 0;
};

TListedFile ListedFile(const std::string& line) {
    constexpr int32_t kPathColumn = 45;
    constexpr int32_t kPackedColumn = 27;
    constexpr int32_t kUnpackedColumn = 36;
    constexpr size_t kFieldWidth = 8;
    if (line.size() < static_cast<size_t>(kPathColumn)) return {};
    return {line.substr(kPathColumn), HexToInt(line.substr(kPackedColumn, kFieldWidth)),
            HexToInt(line.substr(kUnpackedColumn, kFieldWidth))};
}

// A folder node's archive path: the names of it and the folders above it, up to the root
// or a root caption (which stands for no folder).
std::string FolderPathOf(const QTreeWidgetItem* item) {
    std::vector<std::string> names;
    for (; item != nullptr; item = item->parent()) {
        const QVariant name = item->data(0, kFolderNameRole);
        if (!name.isValid()) break;
        names.push_back(name.toByteArray().toStdString());
    }
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name) path += (path.empty() ? "" : "\\") + *name;
    return path;
}

std::string Bytes(int64_t count) { return GroupThousands(count) + (count == 1 ? " byte" : " bytes"); }

struct TNodeTotals {
    int64_t files = 0;
    int64_t size = 0;
    int64_t packed = 0;
};

void SumFiles(const QTreeWidgetItem* item, const TStringList& listing, TNodeTotals& totals) {
    // With a stack of its own: a crafted archive may nest folders deeply.
    std::vector<const QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        const QTreeWidgetItem* next = pending.back();
        pending.pop_back();
        const QVariant line = next->data(0, kListingLineRole);
        if (!line.isValid()) {
            for (int i = next->childCount() - 1; i >= 0; --i) pending.push_back(next->child(i));
            continue;
        }
        const auto k = static_cast<size_t>(line.toInt());
        if (k >= listing.size()) continue;
        const TListedFile entry = ListedFile(listing[k]);
        ++totals.files;
        totals.size += std::max<int32_t>(entry.unpackedSize, 0);
        totals.packed += std::max<int32_t>(entry.packedSize, 0);
    }
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
        const TListedFile entry = ListedFile(listing_[k]);
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

    QTreeWidgetItem* root = nullptr;
    if (!rootCaption.empty())
        root = tree->AddNode(nullptr, rootCaption, rootImageIndex < 0 ? kImageClosedFolder : rootImageIndex,
                             rootSelectedIndex < 0 ? kImageOpenFolder : rootSelectedIndex);

    // Thousands of nodes appear in one step instead of one repaint each.
    tree->setUpdatesEnabled(false);
    AddNodes(tree, listing, prefixLength, suffixLength, root, firstLine);
    tree->setUpdatesEnabled(true);
    tree->EndFill();
}

void TContentsTree::BeginFill(bool clearFirst) {
    filter_.ForgetItems(!clearFirst);
    if (clearFirst) RemoveAllNodes();
}

void TContentsTree::RemoveAllNodes() {
    // A node deletes its children, and they theirs, one call deeper each: a crafted archive's
    // folders nested a hundred thousand deep would overflow the stack. The nodes are cut into
    // pieces no deeper than kPieceDepth, the deepest first (taking a node's children walks
    // all of them), and each piece is deleted on its own.
    constexpr int kPieceDepth = 512;
    struct TPending {
        QTreeWidgetItem* item;
        int depth;
    };
    std::vector<QTreeWidgetItem*> cuts;
    std::vector<TPending> pending;
    for (int i = 0; i < topLevelItemCount(); ++i) pending.push_back({topLevelItem(i), 1});
    while (!pending.empty()) {
        const TPending next = pending.back();
        pending.pop_back();
        if (next.item->childCount() == 0) continue;
        if (next.depth % kPieceDepth == 0) cuts.push_back(next.item);
        for (int c = 0; c < next.item->childCount(); ++c) pending.push_back({next.item->child(c), next.depth + 1});
    }
    std::vector<QList<QTreeWidgetItem*>> pieces;
    for (auto cut = cuts.rbegin(); cut != cuts.rend(); ++cut) pieces.push_back((*cut)->takeChildren());
    clear();
    for (const QList<QTreeWidgetItem*>& piece : pieces) qDeleteAll(piece);
}

TContentsTree::~TContentsTree() {
    // The window that listens to the selection may be half gone already: removing the nodes
    // tells nobody.
    if (selectionModel() != nullptr) selectionModel()->blockSignals(true);
    blockSignals(true);
    RemoveAllNodes();
}

void TContentsTree::EndFill() {
    if (filter_.Active()) filter_.Apply(filter_.Text());
}

bool TContentsTree::IsFileNode(const QTreeWidgetItem* item) {
    return item != nullptr && item->data(0, kListingLineRole).isValid();
}

std::string TContentsTree::ArchivePathOf(const QTreeWidgetItem* item) const {
    if (item == nullptr) return "";
    if (!IsFileNode(item)) return FolderPathOf(item);
    const auto k = static_cast<size_t>(item->data(0, kListingLineRole).toInt());
    if (k >= listing_.size()) return "";
    std::string path = ListedFile(listing_[k]).path;
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
    if (event->key() == Qt::Key_Asterisk && currentItem() != nullptr) {
        ExpandBelow(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void TContentsTree::ExpandBelow(QTreeWidgetItem* item) {
    // The view's own expansion of everything below a node calls itself once per level (see
    // kDeepestExpanded): each folder is expanded on its own.
    struct TPending {
        QTreeWidgetItem* item;
        int depth;
    };
    setUpdatesEnabled(false);
    std::vector<TPending> pending{{item, 0}};
    while (!pending.empty()) {
        const TPending next = pending.back();
        pending.pop_back();
        if (next.item->childCount() == 0 || next.depth >= kDeepestExpanded) continue;
        next.item->setExpanded(true);
        for (int c = next.item->childCount() - 1; c >= 0; --c) pending.push_back({next.item->child(c), next.depth + 1});
    }
    setUpdatesEnabled(true);
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
