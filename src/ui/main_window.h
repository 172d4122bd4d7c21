// TForm1, the program's one window: two path boxes, two option boxes, the command buttons,
// the progress bar and the contents tree. Each command runs one engine operation on the
// window's thread and reports its outcome in the caption, which is the status line.
#pragma once

#include <QList>
#include <QRect>
#include <QUrl>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/host_entries.h"
#include "support/host_lock.h"
#include "support/private_folder.h"
#include "support/progress.h"
#include "ui/dialogs.h"
#include "ui/engine_calls.h"
#include "ui/tree_images.h"
#include "ui/window_effects.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QProgressBar;
class QTimer;
class QTreeWidgetItem;
struct TTreeEntry;
class TContentsTree;
class TFlatButton;
class TNormalFrame;

using TClock = std::function<std::chrono::steady_clock::time_point()>;

// What the window needs from outside: its dialogs, its settings file, the engine, the
// pause between the steps of the fade on close, and the clock that paces the status line.
struct TFormServices {
    std::unique_ptr<TDialogs> Dialogs;
    std::string SettingsFile;
    TEngineCalls Engine = EngineOperations();
    TWaitProc Wait = WaitWithoutEvents;
    TClock Now = [] { return std::chrono::steady_clock::now(); };
};

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(TFormServices services, QWidget* parent = nullptr);
    ~TForm1() override;

    // Command handlers, run by their controls.
    void Button_selectPAKClick();
    void Button_selDIRClick();
    void Button_XtractAllClick();
    void Button_MakeArchiveClick();
    void Button_update1Click();
    void Button_updateXClick();
    void Button_InfoClick();
    void Button_ExitClick();
    void CheckBox_XBOXClick();
    void Edit1EnterPressed();
    // The archive the program was started with: put in the .PAK box and opened, as Enter in
    // the box opens it.
    void OpenGivenArchive(const std::string& path);
    void FormResize();
    void FormDblClick();

    // The contents tree's menu, on the entries selected in it, in the archive it shows.
    void ExtractEntriesClick();
    void ReplaceEntryClick();
    void AddFilesClick();
    void AddFolderClick();
    void RemoveEntriesClick();
    void CopyPathClick();
    // Files and folders dropped onto the tree go into the folder they were dropped on.
    void AddDroppedClick();
    // The selected entries extracted to a private folder, for the file manager they are
    // dragged to; the data to drop, or null when nothing was extracted. The folder stays
    // until the next drag or the window closes: the file manager may copy after the drop.
    QMimeData* DragOutEntries();
    // Enables the menu's items that apply to the selection.
    void UpdateMenuItems();
    // Ctrl+F: the filter line under the tree; Escape hides it and shows the whole tree.
    void ShowFilter();
    void HideFilter();

    // The progress routine handed to the engine: moves the bar, shows the text in the
    // caption and processes pending window events, at most once in kShowInterval (the
    // first report of a command at once).
    void ReportProgress(const TProgress& progress);

    // Shows that a command was refused, long enough to be read, while the running one goes on.
    void ShowRefusal();
    // Asks whether to stop the running command; on Yes it ends at its next report.
    void AskToStop();
    // A command begins: the bar, the pace of the status line and any stop request start anew.
    void BeginCommand();

    void LoadSettings();
    void SaveSettings();

    // True for a point of the window's own surface (not on a control), in client pixels.
    bool IsBodyPoint(const QPoint& point) const;

    // The window's outer size as the settings file keeps it.
    int OuterWidth() const;
    int OuterHeight() const;

    // True while a command runs; a second command is then refused.
    bool BusyFlag = false;
    // Only the settings file sets these.
    bool AutoConvertLOCfiles = true;
    bool FadeEffectOnExit = true;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    enum class TAnchors { LeftTop, TopRight, LeftTopRight };
    struct TPlacedControl {
        QWidget* control;
        QRect design;
        TAnchors anchors;
    };

    void CreateControls();
    template <class TControl>
    TControl* Place(const char* name, const QRect& design, TAnchors anchors);
    void FormCreate();
    void CreateContentsTree();
    void CreateContentsMenu();
    void CreateTreeFilter();
    QAction* AddMenuAction(const char* name, const std::string& caption, void (TForm1::*handler)());
    void ShowContentsMenu(const QPoint& globalPos);
    // Reads the archive the tree shows again and fills the tree, keeping which folders were
    // expanded and what was selected where it still exists.
    void RefillContentsTree();
    // The tree emptied and no archive shown, where it cannot be read any more.
    void ForgetShownArchive();
    // The edits of the menu and of drops: their outcome in the caption, the tree filled again.
    void AddToShownArchive(const std::vector<std::string>& paths, const std::string& folder);
    void DropOntoTree(const QList<QUrl>& urls, QTreeWidgetItem* target);
    void PrepareDragOutClick();
    // Extracting the entries of the tree's archive below target, with the window's progress.
    TSelectiveExtractionRequest EntriesExtraction(const std::vector<TTreeEntry>& entries, const std::string& target,
                                                  TNotices* notices);
    void EscapePressed();
    // While another program holds the archive: the caption says so, the window keeps
    // painting, and Escape may give up the wait.
    void WaitForArchive(bool begins);
    // The caption names who holds the archive once a wait has lasted a while.
    void TellArchiveHolders(const std::string& holders);
    // The tree shows the archive as it is on disk: one changed by another program, or by a
    // command of the buttons, since the tree was filled is read again.
    void KeepTreeCurrent();
    host::EntryInfo ShownArchiveStamp() const;
    void SetTabOrder();
    void LayOutControls();
    void FormClose();
    void SetOuterWidth(int width);
    void SetOuterHeight(int height);
    // The outer place and size the window has when neither maximized nor full screen.
    QRect NormalOuterGeometry() const;
    // Moves the window, and shrinks it where needed, onto the screen it is mostly on (the
    // primary screen when it is on none).
    void KeepOnScreen();

    void SetCaption(const std::string& text);
    // Reads the archive the .PAK box names and shows its file count and folder tree.
    void OpenNamedArchive();
    ProgressProc ProgressRoutine();
    // What the caption says when the command run by handler was stopped.
    std::string StoppedText(void (TForm1::*handler)()) const;
    // Runs a command handler; an error that ends it is shown in a message box.
    void RunCommand(void (TForm1::*handler)());
    // Shows what an operation told besides its result, once its caption is set.
    void ShowNotices(bool ok, const TNotices& notices);
    bool Confirm(const std::string& line1, const std::string& line2, const std::string& line3);

    std::string Text(const QLineEdit* edit) const;
    // What a folder dialog starts at: the Directory box's folder when it exists, else "".
    std::string DirectoryBoxFolder() const;

    TFormServices services_;
    std::vector<TPlacedControl> placed_;
    bool closed_ = false;

    // The running command's status line and stop request.
    bool shownOnce_ = false;
    std::chrono::steady_clock::time_point lastShown_{};
    std::chrono::steady_clock::time_point refusalUntil_{};
    bool stopRequested_ = false;
    bool closeWhenStopped_ = false;
    int64_t itemsDone_ = 0;  // by the running command's last report with a position

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    TFlatButton* Button_selectPAK = nullptr;
    TFlatButton* Button_selDIR = nullptr;
    TFlatButton* Button_Exit = nullptr;
    TFlatButton* Button_XtractAll = nullptr;
    TFlatButton* Button_MakeArchive = nullptr;
    TFlatButton* Button_Info = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    TFlatButton* Button_update1 = nullptr;
    QCheckBox* CheckBox_hash = nullptr;
    TFlatButton* Button_updateX = nullptr;
    QCheckBox* CheckBox_XBOX = nullptr;
    TContentsTree* ContentsTree = nullptr;

    QLineEdit* TreeFilter = nullptr;
    QMenu* ContentsMenu = nullptr;
    QAction* Action_Extract = nullptr;
    QAction* Action_Replace = nullptr;
    QAction* Action_AddFiles = nullptr;
    QAction* Action_AddFolder = nullptr;
    QAction* Action_Remove = nullptr;
    QAction* Action_CopyPath = nullptr;
    QTimer* FilterTimer = nullptr;

    TNormalFrame* NormalFrame = nullptr;

    // The archive the tree shows and the byte order it was read in; the menu works on it,
    // whatever the boxes say now.
    std::string shownArchive_;
    bool shownXbox_ = false;
    host::EntryInfo shownStamp_;  // the archive's identity, size and time when the tree was filled
    host::LockWaiting formerWaiting_;
    // What was dropped onto the tree, for the command that adds it.
    std::vector<std::string> droppedPaths_;
    std::string dropFolder_;
    // The folder the entries last dragged out were extracted to, and the data handed over.
    std::unique_ptr<host::PrivateFolder> dragFolder_;
    QMimeData* dragData_ = nullptr;

    TOpenDialogState OpenDialog1;
    TImageList ImageList_TreeView;
};

// The busy guard of one command: refuses when another command runs, otherwise marks the
// window busy until the command ends, however it ends.
class TBusyScope {
public:
    explicit TBusyScope(TForm1& form);
    ~TBusyScope();
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

    bool Entered() const { return entered_; }

private:
    TForm1& form_;
    bool entered_ = false;
};
