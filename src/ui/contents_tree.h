// The archive contents tree: folders and files of the last archive opened, for looking only.
#pragma once

#include <QTreeWidget>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/format/archive_index.h"
#include "ui/tree_columns.h"
#include "ui/tree_filter.h"
#include "ui/tree_images.h"
#include "ui/tree_node.h"

// An entry of the tree as the archive names it.
struct TTreeEntry {
    std::string path;  // "\" between the folders
    bool isFile = false;
};

// Which folders are expanded and which entries selected, by archive path, so that a tree
// filled again from the changed archive can show them again where they still exist.
struct TTreeState {
    std::vector<std::string> expanded;
    std::vector<std::string> selected;
    std::string current;
};

// What the tree hands to the window: the entries dragged out (the data to drop, or null when
// there is none to give), and local files and folders dropped onto a node (null: the root).
using TDragOutProc = std::function<QMimeData*()>;
using TDropInProc = std::function<void(const QList<QUrl>& urls, QTreeWidgetItem* target)>;

class TContentsTree : public QTreeWidget, public TNodeColumnSource {
    Q_OBJECT
public:
    // images must outlive the tree.
    explicit TContentsTree(const TImageList& images, QWidget* parent = nullptr);
    ~TContentsTree() override;

    // Adds text as the last child of parent, or at the top level when parent is null. The
    // node shows image imageIndex, and image selectedIndex while it is selected. text is a
    // name's bytes as the archive holds them; see DisplayName for how they are shown.
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const std::string& text, int imageIndex, int selectedIndex);

    // The icon of a node with these images, one shared by every node that shows it.
    QIcon NodeIcon(int imageIndex, int selectedIndex) const;

    // Keeps the index the file nodes' entries lie in, for their tool tips and paths: in place
    // of the ones kept, or after them. Returns the number its first entry gets.
    int64_t KeepIndex(std::shared_ptr<const TArchiveIndex> index, bool replace);

    // A file's size, packed size and hash tag; a folder's file count and total sizes. Made
    // when the tip is asked for, so that filling the tree costs nothing for them.
    std::string ToolTipOf(const QTreeWidgetItem* item) const;

    // Before nodes are added: clears the tree when asked to, and lets the filter forget the
    // nodes it knew (its text stays, to be applied again).
    void BeginFill(bool clearFirst);
    // Once nodes are added: a filter's text applies to them.
    void EndFill();

    // The header, naming the archive shown, and the Details view's columns.
    TTreeColumns& Columns() { return *columns_; }
    QString ColumnText(const QTreeWidgetItem* item, int column) const override;
    bool ColumnLess(const QTreeWidgetItem* a, const QTreeWidgetItem* b, int column) const override;

    // The files below a node (or the node's own file) and their sizes.
    struct TNodeTotals {
        int64_t files = 0;
        int64_t size = 0;
        int64_t packed = 0;
    };
    TNodeTotals TotalsOf(const QTreeWidgetItem* item) const;

    // The archive path of a node; "" for a node that stands for no entry (a root caption).
    std::string ArchivePathOf(const QTreeWidgetItem* item) const;
    static bool IsFileNode(const QTreeWidgetItem* item);
    // The selected entries by path, without those that lie in a selected folder. While the
    // filter hides some of a selected folder's entries, the folder stands for the files it
    // shows (shownOnly), or for itself.
    std::vector<TTreeEntry> SelectedEntries(bool shownOnly = true) const;
    // The one selected node; null when none or several are selected.
    QTreeWidgetItem* SingleSelected() const;
    // The files the selected entries hold, each once.
    int64_t SelectedFileCount() const;
    // The archive folder a node stands in or for: a folder's own path, a file's folder; ""
    // for the root.
    std::string FolderOf(const QTreeWidgetItem* item) const;

    TTreeState SaveState() const;
    void RestoreState(const TTreeState& state);

    // Narrows the tree to the entries whose path holds text; "" shows it all again.
    void SetFilter(const QString& text);
    QString FilterText() const { return filter_.Text(); }
    // A filter is applied and shows no entry.
    bool FilterFindsNothing() const { return filter_.Active() && !filter_.ShowsAny(); }
    // Selects the first file the tree shows (the filter's first match), makes it current and
    // takes the focus; false when it shows none.
    bool SelectFirstShownFile();

    void SetDragHandlers(TDragOutProc dragOut, TDropInProc dropIn);

signals:
    // The context menu was asked for, by the mouse or the keyboard, to show at globalPos.
    void ContextMenuAsked(const QPoint& globalPos);

protected:
    bool viewportEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Deletes every node without recursing on their depth.
    void RemoveAllNodes();
    // Expands the folders below item, as "*" asks, without recursing on their depth.
    void ExpandBelow(QTreeWidgetItem* item);
    // Where the menu opens from the keyboard: below the current node, or the view's corner.
    QPoint KeyboardMenuPoint() const;
    bool TakesDrop(const QDropEvent* event) const;
    // The record a file node stands for; null for any other node.
    const TArchiveEntry* EntryOf(const QTreeWidgetItem* item, const TArchiveIndex** index = nullptr) const;
    void SumFiles(const QTreeWidgetItem* item, TNodeTotals& totals, bool shownOnly = false) const;
    // The files a filter shows below a folder: the folder itself where it hides none.
    void AddShownEntries(const QTreeWidgetItem* folder, std::vector<TTreeEntry>& entries) const;

    // The indexes the file nodes' entries lie in, and the number each one's first entry has.
    std::vector<std::shared_ptr<const TArchiveIndex>> indexes_;
    std::vector<int64_t> firstEntries_;
    TNodeIcons icons_;
    TTreeFilter filter_{*this};
    TTreeColumns* columns_ = nullptr;
    TDragOutProc dragOut_;
    TDropInProc dropIn_;
};

// Fills tree from an archive's index: folder nodes for every folder that holds a file
// (subfolders first, in case-insensitive order; folders whose paths differ only in case are
// one node, spelled as first met; "/" and "\" both separate folders), then every file under
// its folder in directory order. The tree keeps the index for its tool tips and paths. With a
// root caption the top-level entries hang below a root node with the given images (0 and 1
// when negative).
void TStringList_2_TTreeView_proba(std::shared_ptr<const TArchiveIndex> index, TContentsTree* tree,
                                   const std::string& rootCaption, int rootImageIndex, int rootSelectedIndex,
                                   bool clearFirst);
