// TForm1, the program's one window: two path boxes, two option boxes, the command buttons,
// the progress bar and the contents tree. Each command runs one engine operation on the
// window's thread and reports its outcome in the caption, which is the status line.
#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>
#include <chrono>
#include <memory>
#include <string>

#include "support/host_lock.h"
#include "support/progress.h"
#include "ui/dialogs.h"
#include "ui/engine_calls.h"
#include "ui/form_layout.h"
#include "ui/opened_entries.h"
#include "ui/settings_file.h"
#include "ui/status_line.h"
#include "ui/tree_images.h"
#include "ui/window_effects.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QTreeWidgetItem;
class TContentsTree;
class TFilterLine;
class TFlatButton;
class TPreviewPane;
class TPreviewSplit;
class TTreeCommands;

// What the window needs from outside: its dialogs, its settings file, the engine, the
// pause between the steps of the fade on close, and the clock that paces the status line.
struct TFormServices {
    std::unique_ptr<TDialogs> Dialogs;
    std::string SettingsFile;
    TEngineCalls Engine = EngineOperations();
    TWaitProc Wait = WaitWithoutEvents;
    TClock Now = [] { return std::chrono::steady_clock::now(); };
    // Opens an entry's copy in the desktop's program for its type (QDesktopServices).
    TOpenInProgramProc OpenInProgram = DesktopOpener();
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
    // Enter, a double click or "Open" on files of the tree: each opened in its program.
    void OpenEntriesClick();
    // Files and folders dropped onto the tree go into the folder they were dropped on.
    void AddDroppedClick();
    // The selected entries extracted to a private folder, for the file manager they are
    // dragged to; the data to drop, or null when nothing was extracted. The folder stays
    // until the next drag or the window closes: the file manager may copy after the drop.
    QMimeData* DragOutEntries();
    // Ctrl+F: the filter line under the tree; Escape hides it and shows the whole tree.
    void ShowFilter();
    void HideFilter();
    // F3: the preview pane beside the tree, of the file selected in it; shown or hidden.
    void TogglePreview();
    void ShowPreview();
    bool PreviewShown() const;
    // Ctrl+S in the pane: the edited string table stored as its entry.
    void SavePreviewClick();

    // The progress routine handed to the engine: the status line's.
    void ReportProgress(const TProgress& progress);
    // The caption, the bar, the busy state and the stop request of the running command.
    TStatusLine& StatusLine() { return *status_; }

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
    void CreateControls();
    void FormCreate();
    void CreateContentsTree();
    void DropOntoTree(const QList<QUrl>& urls, QTreeWidgetItem* target);
    void PrepareDragOutClick();
    void EscapePressed();
    void CreatePreview();
    // The pane shows the file selected in the tree, when it shows.
    void PreviewSelection();
    void SetTabOrder();
    void LayOutControls();
    void FormClose();

    void SetCaption(const std::string& text);
    // Reads the archive the .PAK box names and shows its file count and folder tree.
    void OpenNamedArchive();
    // What the command run by handler had been doing, for the caption once it was stopped.
    TStoppedWork StoppedWork(void (TForm1::*handler)()) const;
    // The tree's menu items and drops that write the archive anew.
    static bool IsTreeEdit(void (TForm1::*handler)());
    // Runs a command handler; an error that ends it is shown in a message box.
    void RunCommand(void (TForm1::*handler)());
    // Shows what an operation told besides its result, once its caption is set.
    void ShowNotices(bool ok, const TNotices& notices);
    bool Confirm(const std::string& line1, const std::string& line2, const std::string& line3);

    std::string Text(const QLineEdit* edit) const;
    // What a folder dialog starts at: the Directory box's folder when it exists, else "".
    std::string DirectoryBoxFolder() const;
    // The settings as the window holds them now.
    TSettings CurrentSettings() const;

    TFormServices services_;
    TFormLayout layout_;
    bool closed_ = false;

    // Closing was asked for while a command ran, and its stop too.
    bool closeWhenStopped_ = false;

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

    TFilterLine* TreeFilter = nullptr;
    TPreviewPane* PreviewPane = nullptr;
    std::unique_ptr<TPreviewSplit> previewSplit_;

    std::unique_ptr<TStatusLine> status_;
    std::unique_ptr<TTreeCommands> treeCommands_;
    TOpenedEntries* openedEntries_ = nullptr;  // a child of the window
    TSettingsFile settingsFile_;
    host::LockWaiting formerWaiting_;
    // The entries dragged out, as the command that extracted them hands them over.
    QMimeData* dragData_ = nullptr;

    TOpenDialogState OpenDialog1;
    TImageList ImageList_TreeView;
};
