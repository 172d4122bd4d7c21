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

#include "engine/format/hash_tag.h"
#include "support/collation.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "ui/text_bridge.h"
#include "ui/tree_node.h"

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

// The folders of an archive's files, each once, as a tree of names. Two names that compare
// equal without regard to case are one folder, spelled as it first appeared; a folder's
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
        size_t folder = 0;
        size_t start = 0;
        while (start < folderPath.size()) {
            size_t end = folderPath.find('\\', start);
            if (end == std::string::npos) end = folderPath.size();
            folder = Child(folder, folderPath.substr(start, end - start));
            start = end + 1;
        }
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
};

constexpr std::string_view kSeparators = "\\/";

// The name a file's node shows: what follows the last separator of its path, which lies in
// its own name when that holds one.
std::string_view NodeName(std::string_view entryName) {
    const size_t last = entryName.find_last_of(kSeparators);
    return last == std::string_view::npos ? entryName : entryName.substr(last + 1);
}

// The folders of every file of the index, each file's folder found from its path; the files
// of one folder follow each other in the directory, and those whose names hold no separator
// share their folder's without a path being made.
std::vector<size_t> FileFolders(const TArchiveIndex& index, TFolderTree& folders) {
    std::vector<size_t> folderOfEntry(index.entries.size());
    TEntryPaths paths(index);
    int32_t lastIndexFolder = -1;
    size_t lastFolder = 0;
    for (size_t k = 0; k < index.entries.size(); ++k) {
        const TArchiveEntry& entry = index.entries[k];
        const bool plainName = index.Name(entry).find_first_of(kSeparators) == std::string_view::npos;
        if (plainName && entry.folder == lastIndexFolder) {
            folderOfEntry[k] = lastFolder;
            continue;
        }
        std::string path = paths.Of(entry);
        SlashesToBackslashes(path);
        const size_t last = path.rfind('\\');
        folderOfEntry[k] = folders.FolderOf(last == std::string::npos ? std::string() : path.substr(0, last));
        if (plainName) {
            lastIndexFolder = entry.folder;
            lastFolder = folderOfEntry[k];
        }
    }
    return folderOfEntry;
}

// Adds a node for every folder of the index's files, then every file under its folder in
// directory order; firstEntry is the number the index's first entry has in the tree.
void AddNodes(TContentsTree* tree, const TArchiveIndex& index, QTreeWidgetItem* root, int64_t firstEntry) {
    TFolderTree folders;
    const std::vector<size_t> folderOfEntry = FileFolders(index, folders);
    for (const size_t folder : folders.InOrder()) {
        TFolderTree::TFolder& record = folders[folder];
        const size_t parent = folders.ParentOf(folder);
        record.node = tree->AddNode(parent == 0 ? root : folders[parent].node, record.name, kImageClosedFolder,
                                    kImageOpenFolder);
        record.node->setData(0, kFolderNameRole, QByteArray::fromStdString(record.name));
    }
    for (size_t k = 0; k < index.entries.size(); ++k) {
        QTreeWidgetItem* parent = folderOfEntry[k] == 0 ? root : folders[folderOfEntry[k]].node;
        tree->AddNode(parent, std::string(NodeName(index.Name(index.entries[k]))), kImageClosedBook, kImageOpenBook)
            ->setData(0, kEntryRole, static_cast<qlonglong>(firstEntry + static_cast<int64_t>(k)));
    }
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

}  // namespace

TContentsTree::TContentsTree(const TImageList& images, QWidget* parent) : QTreeWidget(parent), icons_(images) {
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
    columns_ = new TTreeColumns(*this);
}

QString TContentsTree::ColumnText(const QTreeWidgetItem* item, int column) const {
    return columns_->Text(item, column);
}

bool TContentsTree::ColumnLess(const QTreeWidgetItem* a, const QTreeWidgetItem* b, int column) const {
    return columns_->Less(a, b, column);
}

TContentsTree::TNodeTotals TContentsTree::TotalsOf(const QTreeWidgetItem* item) const {
    TNodeTotals totals;
    if (item == nullptr) return totals;
    if (IsFileNode(item)) {
        // A file's own record, without the walk a folder needs: sorting asks for it often.
        if (const TArchiveEntry* entry = EntryOf(item))
            totals = {1, std::max<int32_t>(entry->unpackedSize, 0), std::max<int32_t>(entry->packedSize, 0)};
        return totals;
    }
    SumFiles(item, totals);
    return totals;
}

QIcon TContentsTree::NodeIcon(int imageIndex, int selectedIndex) const {
    return icons_.Icon(imageIndex, selectedIndex);
}

QTreeWidgetItem* TContentsTree::AddNode(QTreeWidgetItem* parent, const std::string& text, int imageIndex,
                                        int selectedIndex) {
    auto* item = new TTreeNode(DisplayName(text), icons_, imageIndex, selectedIndex);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
    if (parent != nullptr) parent->addChild(item);
    else addTopLevelItem(item);
    return item;
}

int64_t TContentsTree::KeepIndex(std::shared_ptr<const TArchiveIndex> index, bool replace) {
    if (replace) {
        indexes_.clear();
        firstEntries_.clear();
    }
    const int64_t first = indexes_.empty() ? 0
                                           : firstEntries_.back() +
                                                 static_cast<int64_t>(indexes_.back()->entries.size());
    indexes_.push_back(std::move(index));
    firstEntries_.push_back(first);
    return first;
}

const TArchiveEntry* TContentsTree::EntryOf(const QTreeWidgetItem* item, const TArchiveIndex** index) const {
    if (item == nullptr) return nullptr;
    const QVariant number = item->data(0, kEntryRole);
    if (!number.isValid() || indexes_.empty()) return nullptr;
    const int64_t k = number.toLongLong();
    const auto after = std::upper_bound(firstEntries_.begin(), firstEntries_.end(), k);
    if (after == firstEntries_.begin()) return nullptr;
    const auto slot = static_cast<size_t>(after - firstEntries_.begin() - 1);
    const TArchiveIndex& held = *indexes_[slot];
    const auto entry = static_cast<size_t>(k - firstEntries_[slot]);
    if (entry >= held.entries.size()) return nullptr;
    if (index != nullptr) *index = &held;
    return &held.entries[entry];
}

void TContentsTree::SumFiles(const QTreeWidgetItem* item, TNodeTotals& totals, bool shownOnly) const {
    shownOnly = shownOnly && filter_.Active();
    // With a stack of its own: a crafted archive may nest folders deeply.
    std::vector<const QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        const QTreeWidgetItem* next = pending.back();
        pending.pop_back();
        if (shownOnly && next->isHidden()) continue;
        if (!IsFileNode(next)) {
            for (int i = next->childCount() - 1; i >= 0; --i) pending.push_back(next->child(i));
            continue;
        }
        const TArchiveEntry* entry = EntryOf(next);
        if (entry == nullptr) continue;
        ++totals.files;
        totals.size += std::max<int32_t>(entry->unpackedSize, 0);
        totals.packed += std::max<int32_t>(entry->packedSize, 0);
    }
}

std::string TContentsTree::ToolTipOf(const QTreeWidgetItem* item) const {
    if (item == nullptr) return "";
    if (IsFileNode(item)) {
        const TArchiveIndex* index = nullptr;
        const TArchiveEntry* entry = EntryOf(item, &index);
        if (entry == nullptr) return "";
        return "Size: " + Bytes(entry->unpackedSize) + "\nPacked: " + Bytes(entry->packedSize) +
               "\nHash tag: " + TagToText(PathHashTag(index->PathOf(*entry)));
    }
    TNodeTotals totals;
    SumFiles(item, totals);
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

void TStringList_2_TTreeView_proba(std::shared_ptr<const TArchiveIndex> index, TContentsTree* tree,
                                   const std::string& rootCaption, int rootImageIndex, int rootSelectedIndex,
                                   bool clearFirst) {
    if (tree == nullptr) return;
    tree->BeginFill(clearFirst);
    if (index == nullptr) index = std::make_shared<const TArchiveIndex>();
    const TArchiveIndex& held = *index;
    const int64_t firstEntry = tree->KeepIndex(std::move(index), clearFirst);

    QTreeWidgetItem* root = nullptr;
    if (!rootCaption.empty())
        root = tree->AddNode(nullptr, rootCaption, rootImageIndex < 0 ? kImageClosedFolder : rootImageIndex,
                             rootSelectedIndex < 0 ? kImageOpenFolder : rootSelectedIndex);

    // Thousands of nodes appear in one step instead of one repaint each.
    tree->setUpdatesEnabled(false);
    AddNodes(tree, held, root, firstEntry);
    tree->setUpdatesEnabled(true);
    tree->EndFill();
}

void TContentsTree::BeginFill(bool clearFirst) {
    filter_.ForgetItems(!clearFirst);
    columns_->ForgetNodes();
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
    columns_->SortAgain();
    if (filter_.Active()) filter_.Apply(filter_.Text());
}

bool TContentsTree::IsFileNode(const QTreeWidgetItem* item) {
    return item != nullptr && item->data(0, kEntryRole).isValid();
}

std::string TContentsTree::ArchivePathOf(const QTreeWidgetItem* item) const {
    if (item == nullptr) return "";
    if (!IsFileNode(item)) return FolderPathOf(item);
    const TArchiveIndex* index = nullptr;
    const TArchiveEntry* entry = EntryOf(item, &index);
    if (entry == nullptr) return "";
    std::string path = index->PathOf(*entry);
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
    for (const QTreeWidgetItem* item : OutermostSelected(*this)) SumFiles(item, totals, true);
    return totals.files;
}

std::vector<TTreeEntry> TContentsTree::SelectedEntries(bool shownOnly) const {
    std::vector<TTreeEntry> entries;
    for (const QTreeWidgetItem* item : OutermostSelected(*this)) {
        if (shownOnly && filter_.Active() && !IsFileNode(item)) {
            AddShownEntries(item, entries);
            continue;
        }
        const std::string path = ArchivePathOf(item);
        if (!path.empty()) entries.push_back({path, IsFileNode(item)});
    }
    std::sort(entries.begin(), entries.end(),
              [](const TTreeEntry& a, const TTreeEntry& b) { return CompareTextNoCase(a.path, b.path) < 0; });
    return entries;
}

void TContentsTree::AddShownEntries(const QTreeWidgetItem* folder, std::vector<TTreeEntry>& entries) const {
    std::vector<const QTreeWidgetItem*> shown;
    bool hidesAny = false;
    std::vector<const QTreeWidgetItem*> pending{folder};
    while (!pending.empty()) {
        const QTreeWidgetItem* next = pending.back();
        pending.pop_back();
        if (next != folder && next->isHidden()) {
            hidesAny = true;
            continue;
        }
        if (IsFileNode(next)) shown.push_back(next);
        for (int c = next->childCount() - 1; c >= 0; --c) pending.push_back(next->child(c));
    }
    if (!hidesAny) {
        const std::string path = ArchivePathOf(folder);
        if (!path.empty()) entries.push_back({path, false});
        return;
    }
    for (const QTreeWidgetItem* file : shown) entries.push_back({ArchivePathOf(file), true});
}

bool TContentsTree::SelectFirstShownFile() {
    // The rows as they stand, top to bottom, hidden ones skipped with all they hold.
    std::vector<QTreeWidgetItem*> pending;
    for (int i = topLevelItemCount() - 1; i >= 0; --i) pending.push_back(topLevelItem(i));
    while (!pending.empty()) {
        QTreeWidgetItem* next = pending.back();
        pending.pop_back();
        if (next->isHidden()) continue;
        if (IsFileNode(next)) {
            setCurrentItem(next);
            scrollToItem(next);
            setFocus(Qt::OtherFocusReason);
            return true;
        }
        for (int c = next->childCount() - 1; c >= 0; --c) pending.push_back(next->child(c));
    }
    return false;
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
