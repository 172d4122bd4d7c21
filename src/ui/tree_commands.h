// The contents tree's commands: its menu (extract, replace, add, remove, copy the path) on
// the entries of the archive the tree shows, files dropped onto the tree, entries dragged
// out of it, and the tree kept as the archive is on disk. Each runs as the buttons' commands
// run: refused while another runs, progress in the bar and the caption, the outcome in the
// caption, what the engine told in a box.
#pragma once

#include <QList>
#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/format/archive_index.h"
#include "support/host_entries.h"
#include "support/private_folder.h"
#include "ui/engine_calls.h"

class QAction;
class QMenu;
class QMimeData;
class QPoint;
class QTreeWidgetItem;
class QWidget;
class TContentsTree;
class TDialogs;
class TStatusLine;
struct TTreeEntry;

// What runs each item of the tree's menu: the window's handler, which calls the command below.
struct TTreeMenuHandlers {
    std::function<void()> extract, replace, addFiles, addFolder, remove, copyPath;
    std::function<void()> preview;  // shows the preview pane
    std::function<void()> open;  // the selected files opened in their programs
};

class TTreeCommands : public QObject {
    Q_OBJECT
public:
    // The dialogs and the tree's menu belong to window, and the menu's items run handlers;
    // status and engine must outlive the commands.
    TTreeCommands(QWidget& window, TContentsTree& tree, TStatusLine& status, TDialogs& dialogs,
                  const TEngineCalls& engine, const TTreeMenuHandlers& handlers);
    ~TTreeCommands() override;

    // The tree shows archive, whose records were just read into index in this byte order.
    void Show(std::shared_ptr<TArchiveIndex> index, const std::string& archive, bool xbox);
    // The tree shows the archive as it is on disk: one changed by another program, or by a
    // command of the buttons, since the tree was filled is read again.
    void KeepCurrent();
    // A command of the buttons has just changed or read archive: the tree shows it, read
    // again where it is the archive shown, opened in its place where it is another. A tree
    // that cannot read it stays as it is.
    void FollowArchive(const std::string& archive, bool xbox);
    // The commands on the entries selected in the tree, each refused while another runs.
    // Where a folder is asked for, the dialog starts at startFolder; convertLoc is the
    // window's AutoConvertLOCfiles.
    void ExtractSelected(const std::string& startFolder, bool hashTags, bool convertLoc);
    void ReplaceSelected(bool convertLoc);
    void AddFiles();
    void AddFolder(const std::string& startFolder);
    void RemoveSelected();
    void CopySelectedPaths();
    // Files and folders dropped onto target (null: the root), kept for AddDropped, which
    // adds them to the folder they were dropped on.
    void KeepDrop(const QList<QUrl>& urls, QTreeWidgetItem* target);
    void AddDropped();
    // The selected entries extracted to a private folder, for the file manager they are
    // dragged to; the data to drop, or null when nothing was extracted. The folder stays
    // until the next drag or Close: the file manager may copy after the drop.
    QMimeData* PrepareDragOut(bool convertLoc);

    // The archive the tree shows ("" when none) and the byte order it was read in.
    const std::string& ShownArchive() const { return shownArchive_; }
    bool ShownXbox() const { return shownXbox_; }

    // The window closes and takes the tree with it: no archive is shown any more, and the
    // folder of the last drag goes.
    void Close();

private:
    // The tree's menu, opened where the tree asks for it.
    void CreateMenu(const TTreeMenuHandlers& handlers);
    // Enables the menu's items that apply to the selection.
    void UpdateMenuItems();
    QAction* AddMenuAction(const char* name, const std::string& caption, const std::function<void()>& handler);
    void ShowMenu(const QPoint& globalPos);
    // Reads the archive the tree shows again and fills the tree, keeping which folders were
    // expanded and what was selected where it still exists.
    void Refill();
    // The tree emptied and no archive shown, where it cannot be read any more.
    void Forget();
    // The edits of the menu and of drops: their outcome in the caption, the tree filled again.
    void AddToShownArchive(const std::vector<std::string>& paths, const std::string& folder);
    // Extracting the entries of the tree's archive below target, with the window's progress.
    TSelectiveExtractionRequest EntriesExtraction(const std::vector<TTreeEntry>& entries, const std::string& target,
                                                  bool convertLoc, TNotices* notices);
    host::EntryInfo ShownArchiveStamp() const;
    void ShowNotices(bool ok, const TNotices& notices);
    bool Confirm(const std::string& line1, const std::string& line2, const std::string& line3);

    QWidget& window_;
    TContentsTree* tree_;  // null once closed
    TStatusLine& status_;
    TDialogs& dialogs_;
    const TEngineCalls& engine_;

    // The archive the tree shows and the byte order it was read in; the commands work on
    // it, whatever the window's boxes say now.
    std::string shownArchive_;
    bool shownXbox_ = false;
    host::EntryInfo shownStamp_;  // the archive's identity, size and time when the tree was filled
    // What was dropped onto the tree, for the command that adds it.
    std::vector<std::string> droppedPaths_;
    std::string dropFolder_;
    // The folder the entries last dragged out were extracted to.
    std::unique_ptr<host::PrivateFolder> dragFolder_;

    QMenu* menu_ = nullptr;
    QAction* extract_ = nullptr;
    QAction* replace_ = nullptr;
    QAction* addFiles_ = nullptr;
    QAction* addFolder_ = nullptr;
    QAction* remove_ = nullptr;
    QAction* copyPath_ = nullptr;
    QAction* details_ = nullptr;
    QAction* preview_ = nullptr;
    QAction* open_ = nullptr;
};
