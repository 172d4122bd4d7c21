#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QShortcut>
#include <QTimer>
#include <QWindow>
#include <exception>

#include "engine/format/hash_tag.h"
#include "support/existence.h"
#include "support/host_entries.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "ui/accessible_names.h"
#include "ui/byte_order_choice.h"
#include "ui/contents_tree.h"
#include "ui/filter_line.h"
#include "ui/flat_button.h"
#include "ui/notices_box.h"
#include "ui/path_edit.h"
#include "ui/preview_pane.h"
#include "ui/preview_split.h"
#include "ui/entry_store.h"
#include "support/private_folder.h"
#include "support/host_file.h"
#include "ui/text_bridge.h"
#include "ui/tree_commands.h"
#include "ui/tree_hint.h"
#include "ui/ui_texts.h"
#include "ui/window_title.h"

namespace {

constexpr int kFontPixelHeight = 11;
constexpr int kProgressMax = 100;

}  // namespace

TForm1::TForm1(TFormServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)), layout_(*this), settingsFile_(services_.SettingsFile) {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setObjectName("Form1");
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(kFontPixelHeight);
    setFont(tahoma);
    layout_.PlaceWindow();
    CreateControls();
    status_ = std::make_unique<TStatusLine>(*this, *ProgressBar1, BusyFlag, *services_.Dialogs, services_.Now);
    FormCreate();
    formerWaiting_ = host::SetLockWaiting(
        {true, [this](const std::string&, bool begins) { status_->WaitForArchive(begins); },
         [this](const std::string&, const std::string& holders) { status_->TellArchiveHolders(holders); }});
}

TForm1::~TForm1() { host::SetLockWaiting(std::move(formerWaiting_)); }

void TForm1::CreateControls() {
    Label1 = layout_.Place<QLabel>("Label1", QRect(8, 10, 0, 0), TAnchors::LeftTop);
    Label2 = layout_.Place<QLabel>("Label2", QRect(8, 42, 0, 0), TAnchors::LeftTop);
    Edit1 = layout_.Place<TPathEdit>("Edit1", QRect(80, 8, 257, 21), TAnchors::LeftTopRight);
    Edit2 = layout_.Place<TPathEdit>("Edit2", QRect(80, 40, 257, 21), TAnchors::LeftTopRight);
    Button_selectPAK = layout_.Place<TFlatButton>("Button_selectPAK", QRect(344, 8, 17, 20), TAnchors::TopRight);
    Button_selDIR = layout_.Place<TFlatButton>("Button_selDIR", QRect(344, 40, 17, 20), TAnchors::TopRight);
    Button_Exit = layout_.Place<TFlatButton>("Button_Exit", QRect(440, 136, 65, 21), TAnchors::TopRight);
    Button_XtractAll = layout_.Place<TFlatButton>("Button_XtractAll", QRect(440, 8, 65, 21), TAnchors::TopRight);
    Button_MakeArchive = layout_.Place<TFlatButton>("Button_MakeArchive", QRect(440, 104, 65, 21), TAnchors::TopRight);
    Button_Info = layout_.Place<TFlatButton>("Button_Info", QRect(368, 72, 65, 21), TAnchors::TopRight);
    ProgressBar1 = layout_.Place<QProgressBar>("ProgressBar1", QRect(8, 74, 353, 17), TAnchors::LeftTopRight);
    Button_update1 = layout_.Place<TFlatButton>("Button_update1", QRect(440, 40, 65, 21), TAnchors::TopRight);
    CheckBox_hash = layout_.Place<QCheckBox>("CheckBox_hash", QRect(368, 8, 65, 17), TAnchors::TopRight);
    Button_updateX = layout_.Place<TFlatButton>("Button_updateX", QRect(440, 72, 65, 21), TAnchors::TopRight);
    CheckBox_XBOX = layout_.Place<QCheckBox>("CheckBox_XBOX", QRect(368, 40, 57, 17), TAnchors::TopRight);
    CheckBox_hash->setText(QStringLiteral("Hash"));
    CheckBox_XBOX->setText(QStringLiteral("XBOX"));
    ProgressBar1->setTextVisible(false);

    connect(Button_selectPAK, &QPushButton::clicked, this, [this] { RunCommand(&TForm1::Button_selectPAKClick); });
    connect(Button_selDIR, &QPushButton::clicked, this, [this] { RunCommand(&TForm1::Button_selDIRClick); });
    connect(Button_XtractAll, &QPushButton::clicked, this, [this] { RunCommand(&TForm1::Button_XtractAllClick); });
    connect(Button_MakeArchive, &QPushButton::clicked, this,
            [this] { RunCommand(&TForm1::Button_MakeArchiveClick); });
    connect(Button_update1, &QPushButton::clicked, this, [this] { RunCommand(&TForm1::Button_update1Click); });
    connect(Button_updateX, &QPushButton::clicked, this, [this] { RunCommand(&TForm1::Button_updateXClick); });
    connect(Button_Info, &QPushButton::clicked, this, [this] { RunCommand(&TForm1::Button_InfoClick); });
    connect(Button_Exit, &QPushButton::clicked, this, [this] { Button_ExitClick(); });
    connect(CheckBox_XBOX, &QCheckBox::toggled, this, [this] { CheckBox_XBOXClick(); });
    connect(Edit1, &QLineEdit::returnPressed, this, [this] { RunCommand(&TForm1::Edit1EnterPressed); });
    // Escape asks to stop a running command, wherever the focus is.
    auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    stop->setContext(Qt::WindowShortcut);
    connect(stop, &QShortcut::activated, this, [this] { EscapePressed(); });
    auto* find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] { ShowFilter(); });
    auto* preview = new QShortcut(QKeySequence(Qt::Key_F3), this);
    preview->setContext(Qt::WindowShortcut);
    connect(preview, &QShortcut::activated, this, [this] { TogglePreview(); });
}

void TForm1::FormCreate() {
    OpenDialog1.Filter = GameName + " ." + ArchiveExt + " file (*." + ArchiveExt + ")|*." + ArchiveExt +
                         "|All files (*.*)|*.*";
    OpenDialog1.DetailsView = true;

    Label1->setText(QStr("." + ArchiveExt + " file:"));
    Label2->setText(QStringLiteral("Directory:"));
    Label1->adjustSize();
    Label2->adjustSize();
    Button_MakeArchive->setText(QStr("&Make ." + ArchiveExt));
    Button_MakeArchive->setToolTip(QStr("Make ." + ArchiveExt + " file from the files of the selected directory."));
    Button_update1->setText(QStringLiteral("&Replace1"));
    Button_update1->setToolTip(QStringLiteral("Replace only one file in the selected archive."));
    Button_updateX->setText(QStringLiteral("Re&placeX"));
    Button_updateX->setToolTip(
        QStringLiteral("Replace the selected archive with the contents of the given directory."));
    Button_XtractAll->setText(QStringLiteral("&Extract"));
    Button_XtractAll->setToolTip(QStr("Extract the selected ." + ArchiveExt + " file to the given directory."));
    Button_Exit->setText(QStringLiteral("E&xit"));
    Button_Exit->setToolTip(QStringLiteral("End of the hard work."));
    Button_Info->setText(QStringLiteral("?"));
    Button_Info->setToolTip(QStringLiteral("About..."));
    Button_selectPAK->setText(QStringLiteral("..."));
    Button_selectPAK->setToolTip(QStr("Select the ." + ArchiveExt + " file to Extract/Make/Update..."));
    Button_selDIR->setText(QStringLiteral("..."));
    Button_selDIR->setToolTip(QStringLiteral("Select the Target/Source directory..."));
    CheckBox_hash->setToolTip(DisplayLines(HashHint));
    CheckBox_XBOX->setToolTip(QStringLiteral("XBOX360 version"));

    ProgressBar1->setRange(0, kProgressMax);
    ProgressBar1->setValue(0);

    CreateContentsTree();
    SetTabOrder();
    NameControlsForAssistiveTechnology(*this);
    // An archive dropped onto the window is opened; the path boxes and the tree take their
    // own drops.
    setAcceptDrops(true);

    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    LoadSettings();

    KeepTitleExact(this);
    SetCaption(TitleLine);

    SetWindowOpacity(this, kOpaque);
}

void TForm1::CreateContentsTree() {
    ImageList_TreeView = CreateTreeImageList();
    ContentsTree = new TContentsTree(ImageList_TreeView, this);
    ContentsTree->setObjectName(QStringLiteral("ContentsTree"));
    ContentsTree->setGeometry(TFormLayout::TreeDesign(ProgressBar1->geometry(), Button_Info->geometry()));
    ContentsTree->show();
    const auto run = [this](void (TForm1::*handler)()) { return [this, handler] { RunCommand(handler); }; };
    const TTreeMenuHandlers menu = {run(&TForm1::ExtractEntriesClick), run(&TForm1::ReplaceEntryClick),
                                    run(&TForm1::AddFilesClick),       run(&TForm1::AddFolderClick),
                                    run(&TForm1::RemoveEntriesClick),  run(&TForm1::CopyPathClick),
                                    [this] { ShowPreview(); },         run(&TForm1::OpenEntriesClick)};
    treeCommands_ =
        std::make_unique<TTreeCommands>(*this, *ContentsTree, *status_, *services_.Dialogs, services_.Engine, menu);
    new TTreeHint(*ContentsTree);
    openedEntries_ = new TOpenedEntries(*this, *ContentsTree, *status_, BusyFlag, *services_.Dialogs, services_.Engine,
                                        services_.OpenInProgram, [this] { treeCommands_->KeepCurrent(); });
    // Enter and a double click (or the desktop's single click) on a file open it.
    connect(ContentsTree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (TContentsTree::IsFileNode(item)) RunCommand(&TForm1::OpenEntriesClick);
    });
    TreeFilter = new TFilterLine(ContentsTree, this);
    layout_.FollowTree(ContentsTree, TreeFilter);
    CreatePreview();
    LayOutControls();
}

void TForm1::SetTabOrder() {
    const std::vector<QWidget*> order = {Edit1,          Edit2,          Button_selectPAK, Button_selDIR, Button_Exit,
                                         Button_XtractAll, Button_MakeArchive, Button_Info, ProgressBar1,
                                         Button_update1, CheckBox_hash,  Button_updateX,   CheckBox_XBOX, ContentsTree,
                                         TreeFilter};
    for (size_t i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);
}

void TForm1::LayOutControls() { layout_.LayOut(); }

int TForm1::OuterWidth() const { return layout_.OuterWidth(); }
int TForm1::OuterHeight() const { return layout_.OuterHeight(); }

void TForm1::SetCaption(const std::string& text) { status_->SetCaption(text); }

void TForm1::ReportProgress(const TProgress& progress) { status_->ReportProgress(progress); }

std::string TForm1::Text(const QLineEdit* edit) const { return StdStr(edit->text()); }

void TForm1::RunCommand(void (TForm1::*handler)()) {
    // A command set off just before the window closed (by a drop, which runs its command
    // once the drop has ended) would find no tree and no one to ask.
    if (closed_) return;
    // A command may change the archive the pane reads: the pane waits for it to end.
    PreviewPane->Worker().Hold();
    const auto command = [this, handler] {
        // Opening reads an archive anew anyway; no other command runs on a stale tree.
        const bool opens = handler == &TForm1::Button_selectPAKClick || handler == &TForm1::Edit1EnterPressed;
        if (!BusyFlag && !opens) treeCommands_->KeepCurrent();
        const std::string archive = treeCommands_->ShownArchive();
        const host::FileIdentity before = archive.empty() ? host::FileIdentity{} : host::Stat(archive).identity;
        (this->*handler)();
        // An edit of the tree writes the archive anew: the entries opened from it go with it.
        if (!BusyFlag && IsTreeEdit(handler) && !archive.empty())
            openedEntries_->ArchiveRewritten(archive, before, host::Stat(archive).identity);
    };
    status_->Run(command, StoppedWork(handler));
    PreviewPane->Worker().Release();
    // Closing was asked for while the command ran, and it has stopped now.
    if (closeWhenStopped_ && !BusyFlag) {
        closeWhenStopped_ = false;
        close();
    }
}

bool TForm1::IsTreeEdit(void (TForm1::*handler)()) {
    return handler == &TForm1::AddFilesClick || handler == &TForm1::AddFolderClick ||
           handler == &TForm1::AddDroppedClick || handler == &TForm1::RemoveEntriesClick;
}

TStoppedWork TForm1::StoppedWork(void (TForm1::*handler)()) const {
    if (handler == &TForm1::Button_XtractAllClick || handler == &TForm1::ExtractEntriesClick ||
        handler == &TForm1::PrepareDragOutClick || handler == &TForm1::OpenEntriesClick)
        return TStoppedWork::Extraction;
    if (handler == &TForm1::Button_MakeArchiveClick || handler == &TForm1::AddFilesClick ||
        handler == &TForm1::AddFolderClick || handler == &TForm1::AddDroppedClick ||
        handler == &TForm1::RemoveEntriesClick)
        return TStoppedWork::NewArchive;
    return TStoppedWork::Update;
}

void TForm1::ShowNotices(bool ok, const TNotices& notices) { ::ShowNotices(*services_.Dialogs, this, ok, notices); }

bool TForm1::Confirm(const std::string& line1, const std::string& line2, const std::string& line3) {
    return ConfirmLines(*services_.Dialogs, this, line1, line2, line3);
}

void TForm1::Button_selectPAKClick() {
    TBusyScope busy(*status_);
    if (!busy.Entered()) return;

    if (!Edit1->text().isEmpty()) OpenDialog1.FileName = Text(Edit1);
    if (!services_.Dialogs->ExecuteOpenDialog(this, OpenDialog1)) return;
    Edit1->setText(QStr(OpenDialog1.FileName));
    OpenNamedArchive();
}

void TForm1::OpenNamedArchive() {
    auto index = std::make_shared<TArchiveIndex>();
    TNotices notices;
    const TByteOrderChoice order =
        ReadInEitherByteOrder(services_.Engine, CheckBox_XBOX->isChecked(), Text(Edit1), *index, &notices);
    const bool ok = order.ok;
    const auto count = static_cast<int64_t>(index->entries.size());
    if (!ok) {
        SetCaption(ErrorText);
        ShowNotices(false, notices);
        return;
    }
    SetCaption(PleaseWaitText);
    // A change of state runs CheckBox_XBOXClick, as a click would.
    if (order.switched) CheckBox_XBOX->setChecked(order.xbox);
    treeCommands_->Show(std::move(index), Text(Edit1), CheckBox_XBOX->isChecked());
    ContentsTree->SetDragHandlers([this] { return DragOutEntries(); },
                                  [this](const QList<QUrl>& urls, QTreeWidgetItem* target) { DropOntoTree(urls, target); });
    SetCaption("O.K. The file successfully opened, contains " + GroupThousands(count) + " files." +
               ByteOrderSwitchNote(order));
    ShowNotices(true, notices);
}

std::string TForm1::DirectoryBoxFolder() const {
    const std::string current = Text(Edit2);
    return !current.empty() && DirExistsSafe(current) ? current : std::string();
}

void TForm1::Button_selDIRClick() {
    TBusyScope busy(*status_);
    if (!busy.Entered()) return;

    std::string chosen;
    if (services_.Dialogs->BrowseForFolder(this, StdStr(Button_selDIR->toolTip()), DirectoryBoxFolder(), chosen))
        Edit2->setText(QStr(chosen));
}

void TForm1::Button_XtractAllClick() {
    TBusyScope busy(*status_);
    if (!busy.Entered()) return;

    SetCaption("");
    const std::string archive = Text(Edit1);
    const std::string target = Text(Edit2);
    if (archive.empty() || target.empty()) return;
    SetCaption(PreparingText);

    if (DirHasEntries(target) &&
        !Confirm("Warning!", "The target directory not empty!", "Do you really want to extract here?")) {
        SetCaption("");
        return;
    }
    // The engine creates the target with its parents once the archive has been read, so a
    // missing or foreign archive leaves no folder behind; when the chain cannot be made, the
    // extraction fails and says why.
    TNotices notices;
    TExtractRequest request;
    request.bigEndian = CheckBox_XBOX->isChecked();
    request.archivePath = archive;
    request.targetDir = target;
    request.hashTags = CheckBox_hash->isChecked();
    request.convertLoc = AutoConvertLOCfiles;
    request.progress = status_->ProgressRoutine();
    request.notices = &notices;
    request.targetFolder = TTargetFolder::CreateWithParents;
    const TExtractResult result = services_.Engine.ExtractArchive(request);
    SetCaption(result.ok ? ExtractedText(result.extractedCount) : ErrorText);
    ShowNotices(result.ok, notices);
    if (result.ok) treeCommands_->FollowArchive(archive, request.bigEndian);
}

void TForm1::Button_MakeArchiveClick() {
    SetCaption("");
    const std::string archive = Text(Edit1);
    const std::string source = Text(Edit2);
    if (archive.empty() || source.empty()) return;

    TBusyScope busy(*status_);
    if (!busy.Entered()) return;

    if (FileExistsSafe(archive) &&
        !Confirm("Warning!", "The given file already exists!", "Do you really want to overwrite it?"))
        return;

    TNotices notices;
    TMakeRequest request;
    request.bigEndian = CheckBox_XBOX->isChecked();
    request.sourceDir = source;
    request.archivePath = archive;
    // Building always turns .loc texts into tables: a tree to pack holds them as text.
    request.convertLoc = true;
    request.progress = status_->ProgressRoutine();
    request.notices = &notices;
    const TMakeResult result = services_.Engine.MakeArchive(request);
    SetCaption(result.ok ? PackedText(result.folderCount, result.fileCount) : ErrorText);
    ShowNotices(result.ok, notices);
    if (result.ok) treeCommands_->FollowArchive(archive, request.bigEndian);
}

void TForm1::Button_update1Click() {
    SetCaption("");
    const std::string archive = Text(Edit1);
    if (archive.empty()) return;

    TBusyScope busy(*status_);
    if (!busy.Entered()) return;

    TOpenDialogState dialog;
    dialog.Title = "Please select the file to replace in the active ." + ArchiveExt + " archive:";
    dialog.Filter = "All files (*.*)|*.*";
    if (!services_.Dialogs->ExecuteOpenDialog(this, dialog)) return;

    // The entry is found by the tag in the file's name; the engine refuses a name without
    // one, and says so, before it touches the archive.
    TNotices notices;
    TReplaceFileRequest request;
    request.bigEndian = CheckBox_XBOX->isChecked();
    request.archivePath = archive;
    request.filePath = dialog.FileName;
    request.key = HashTagFromFileName(dialog.FileName);
    request.matchByTag = true;
    request.convertLoc = AutoConvertLOCfiles;
    request.progress = status_->ProgressRoutine();
    request.notices = &notices;
    const TReplaceResult result = services_.Engine.ReplaceOneFile(request);
    SetCaption(result.ok ? kUpdatedText : ErrorText);
    ShowNotices(result.ok, notices);
    if (result.ok) treeCommands_->FollowArchive(archive, request.bigEndian);
}

void TForm1::Button_updateXClick() {
    TBusyScope busy(*status_);
    if (!busy.Entered()) return;

    SetCaption("");
    // The engine would take an empty directory for the folder the program was started
    // from, which a person never sees in the window: that is refused here. An empty archive
    // box fails in the engine, which says why.
    const std::string source = Text(Edit2);
    if (source.empty()) {
        services_.Dialogs->ShowError(this, TitleLine, EmptyDirectoryText);
        return;
    }
    TNotices notices;
    TReplaceDirRequest request;
    request.bigEndian = CheckBox_XBOX->isChecked();
    request.archivePath = Text(Edit1);
    request.sourceDir = source;
    request.matchByTag = CheckBox_hash->isChecked();
    request.convertLoc = AutoConvertLOCfiles;
    request.progress = status_->ProgressRoutine();
    request.notices = &notices;
    const TReplaceResult result = services_.Engine.ReplaceFromDirectory(request);
    if (!result.ok) SetCaption(ErrorText);
    else SetCaption(ReplacedFromDirectoryText(result.replacedCount, result.unchangedCount));
    ShowNotices(result.ok, notices);
    if (result.ok) treeCommands_->FollowArchive(request.archivePath, request.bigEndian);
}

void TForm1::Button_InfoClick() {
    TBusyScope busy(*status_);
    if (!busy.Entered()) return;

    SetCaption(TitleLine);
    services_.Dialogs->ShowAbout(this, AboutTitle, AboutText());
}

void TForm1::Button_ExitClick() { close(); }

void TForm1::CheckBox_XBOXClick() {
    // In-place updating exists only for PC archives.
    const bool pc = !CheckBox_XBOX->isChecked();
    Button_update1->setEnabled(pc);
    Button_updateX->setEnabled(pc);
}

void TForm1::Edit1EnterPressed() {
    TBusyScope busy(*status_);
    if (!busy.Entered()) return;

    // Enter opens the archive typed or dropped in the box, as choosing it with "..." does.
    if (Edit1->text().isEmpty()) return;
    OpenNamedArchive();
}

void TForm1::OpenGivenArchive(const std::string& path) {
    Edit1->setText(QStr(path));
    RunCommand(&TForm1::Edit1EnterPressed);
}

// ---- the contents tree: the commands of its menu, its filter line, and what is dragged onto
// and out of it

void TForm1::ExtractEntriesClick() {
    treeCommands_->ExtractSelected(DirectoryBoxFolder(), CheckBox_hash->isChecked(), AutoConvertLOCfiles);
}

void TForm1::ReplaceEntryClick() { treeCommands_->ReplaceSelected(AutoConvertLOCfiles); }
void TForm1::AddFilesClick() { treeCommands_->AddFiles(); }
void TForm1::AddFolderClick() { treeCommands_->AddFolder(DirectoryBoxFolder()); }
void TForm1::RemoveEntriesClick() { treeCommands_->RemoveSelected(); }
void TForm1::CopyPathClick() { treeCommands_->CopySelectedPaths(); }
void TForm1::OpenEntriesClick() {
    openedEntries_->OpenSelected(treeCommands_->ShownArchive(), treeCommands_->ShownXbox(), AutoConvertLOCfiles);
}

void TForm1::DropOntoTree(const QList<QUrl>& urls, QTreeWidgetItem* target) {
    treeCommands_->KeepDrop(urls, target);
    // The file manager waits for the drop to end: the command runs once it has.
    QTimer::singleShot(0, this, [this] { RunCommand(&TForm1::AddDroppedClick); });
}

void TForm1::AddDroppedClick() { treeCommands_->AddDropped(); }

QMimeData* TForm1::DragOutEntries() {
    dragData_ = nullptr;
    RunCommand(&TForm1::PrepareDragOutClick);
    QMimeData* data = dragData_;
    dragData_ = nullptr;
    return data;
}

void TForm1::PrepareDragOutClick() { dragData_ = treeCommands_->PrepareDragOut(AutoConvertLOCfiles); }

void TForm1::ShowFilter() {
    if (TreeFilter->isHidden()) {
        TreeFilter->show();
        LayOutControls();
    }
    TreeFilter->setFocus();
    TreeFilter->selectAll();
}

void TForm1::HideFilter() {
    TreeFilter->Empty();
    TreeFilter->hide();
    LayOutControls();
    ContentsTree->setFocus();
}

void TForm1::CreatePreview() {
    PreviewPane = new TPreviewPane(this);
    previewSplit_ = std::make_unique<TPreviewSplit>(*this, layout_, *ContentsTree, TreeFilter, *PreviewPane);
    PreviewPane->SetDiscardQuestion([this] {
        return Confirm("Warning!", "The edited strings are not saved!", "Do you really want to discard them?");
    });
    connect(PreviewPane, &TPreviewPane::SaveAsked, this, [this] { RunCommand(&TForm1::SavePreviewClick); });
    connect(ContentsTree, &QTreeWidget::itemSelectionChanged, this, [this] { PreviewSelection(); });
}

bool TForm1::PreviewShown() const { return previewSplit_ != nullptr && previewSplit_->Shown(); }

void TForm1::TogglePreview() {
    if (ContentsTree == nullptr) return;
    if (!PreviewShown()) {
        ShowPreview();
        return;
    }
    // Edits not saved are given up only when the user says so.
    if (!PreviewPane->StopEditing()) return;
    previewSplit_->Hide();
}

void TForm1::ShowPreview() {
    if (ContentsTree == nullptr) return;
    previewSplit_->Show(true);
    PreviewSelection();
}

void TForm1::PreviewSelection() {
    if (!PreviewShown() || ContentsTree == nullptr) return;
    const QTreeWidgetItem* item = ContentsTree->SingleSelected();
    const bool file = item != nullptr && TContentsTree::IsFileNode(item);
    PreviewPane->ShowEntry(treeCommands_->ShownArchive(), treeCommands_->ShownXbox(),
                           file ? ContentsTree->ArchivePathOf(item) : std::string());
}

void TForm1::SavePreviewClick() {
    TBusyScope busy(*status_);
    if (!busy.Entered()) return;

    if (!PreviewPane->Editing()) return;
    const TPreviewContent& shown = PreviewPane->Shown();
    std::string text;
    QString problem;
    if (!PreviewPane->EditedText(text, problem)) {
        PreviewPane->ShowSaveProblem(problem);
        SetCaption(ErrorText);
        return;
    }
    // The text goes to a private file, stored as extraction's text of the table is put back.
    std::string folderProblem;
    const auto folder = host::PrivateFolder::Make(host::TemporaryFolders(), "vpak-edit-", folderProblem);
    if (folder == nullptr) {
        PreviewPane->ShowSaveProblem(QStr(folderProblem));
        SetCaption(ErrorText);
        return;
    }
    const std::string file = folder->Path() + "/table.loc";
    {
        HostFile out(file, HostFile::Mode::CreateNew, 0600);
        out.Write(text.data(), static_cast<int64_t>(text.size()));
    }
    TNotices notices;
    TEntryStoreRequest request;
    request.xbox = shown.bigEndian;
    request.archivePath = shown.archivePath;
    request.archiveIdentity = PreviewPane->ShownArchiveIdentity();
    request.entryPath = shown.entryPath;
    request.filePath = file;
    request.locText = true;
    request.progress = status_->ProgressRoutine();
    request.notices = &notices;
    const TEntryStoreResult result = StoreEntry(services_.Engine, request);
    SetCaption(result.Stored() ? kUpdatedText : ErrorText);
    if (!result.Stored()) {
        PreviewPane->ShowSaveProblem(QStr(result.reason.empty() && !notices.empty() ? notices.front().text
                                                                                     : result.reason));
        ShowNotices(false, notices);
        return;
    }
    ShowNotices(true, notices);
    // The tree and the pane show the archive as it is now.
    treeCommands_->KeepCurrent();
    PreviewPane->EditsSaved();
}

void TForm1::EscapePressed() {
    if (BusyFlag) status_->AskToStop();
    else if (!TreeFilter->isHidden()) HideFilter();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedArchive(event->mimeData()).isEmpty()) event->acceptProposedAction();
    else event->ignore();
}

void TForm1::dropEvent(QDropEvent* event) {
    const QString archive = DroppedArchive(event->mimeData());
    if (archive.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Opened as picking it with "..." opens it, once the file manager has its drop back.
    QTimer::singleShot(0, this, [this, path = StdStr(archive)] {
        if (BusyFlag) status_->ShowRefusal();
        else OpenGivenArchive(path);
    });
}

void TForm1::FormResize() {
    if (width() < kMinClientWidth) resize(kMinClientWidth, height());
    if (height() < kMinClientHeight) resize(width(), kMinClientHeight);
    LayOutControls();
}

void TForm1::FormDblClick() { SetCaption(AuthorLine); }

TSettings TForm1::CurrentSettings() const {
    TSettings settings;
    // A window closed maximized reopens at its normal place, not over the whole screen.
    settings.outer = layout_.NormalOuterGeometry();
    settings.archivePath = Text(Edit1);
    settings.directory = Text(Edit2);
    settings.hashTags = CheckBox_hash->isChecked();
    settings.xbox = CheckBox_XBOX->isChecked();
    settings.autoConvertLocFiles = AutoConvertLOCfiles;
    settings.fadeEffectOnExit = FadeEffectOnExit;
    settings.details = ContentsTree != nullptr && ContentsTree->Columns().Details();
    settings.preview = PreviewShown();
    return settings;
}

void TForm1::LoadSettings() {
    const TSettings settings = settingsFile_.Read(CurrentSettings());
    move(settings.outer.topLeft());
    layout_.SetOuterSize(settings.outer.width(), settings.outer.height());
    // A place read from the file may lie off every screen.
    layout_.KeepOnScreen();
    Edit1->setText(QStr(settings.archivePath));
    Edit2->setText(QStr(settings.directory));
    CheckBox_hash->setChecked(settings.hashTags);
    // A change of state runs CheckBox_XBOXClick, as a click would.
    CheckBox_XBOX->setChecked(settings.xbox);
    AutoConvertLOCfiles = settings.autoConvertLocFiles;
    FadeEffectOnExit = settings.fadeEffectOnExit;
    ContentsTree->Columns().SetDetails(settings.details);
    // The window's width read above holds the pane already.
    if (settings.preview) previewSplit_->Show(false);
}

void TForm1::SaveSettings() { settingsFile_.Write(CurrentSettings()); }

void TForm1::FormClose() {
    // Shown at once, whatever the pace of the status line: the close steps follow.
    SetCaption(ExitingText);
    QApplication::processEvents();
    try {
        SaveSettings();
    } catch (const std::exception& error) {
        services_.Dialogs->ShowError(this, TitleLine, RaisedErrorText(error));
    }
    treeCommands_->Close();
    openedEntries_->Close();
    delete ContentsTree;
    ContentsTree = nullptr;
    if (FadeEffectOnExit) FadeOutWindow(this, services_.Wait);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing while a command runs first asks to stop it; the window closes once it has
    // stopped, its clean-up done, and stays open for a No.
    if (BusyFlag && !closed_) {
        event->ignore();
        status_->AskToStop();
        if (status_->StopRequested()) closeWhenStopped_ = true;
        return;
    }
    // Strings edited in the preview and not saved go only when the user says so.
    if (!closed_ && PreviewPane != nullptr && !PreviewPane->StopEditing()) {
        event->ignore();
        return;
    }
    // Copies changed in their programs and not put back are lost unless the user stays.
    if (!closed_ && !openedEntries_->MayClose()) {
        event->ignore();
        return;
    }
    // A request that arrives once the close steps have run only closes again.
    event->accept();
    if (closed_) return;
    closed_ = true;
    FormClose();
}

bool TForm1::IsBodyPoint(const QPoint& point) const {
    if (!rect().contains(point)) return false;
    const QWidget* child = childAt(point);
    // Labels are painted on the window's surface and take no clicks of their own.
    return child == nullptr || qobject_cast<const QLabel*>(child) != nullptr;
}

void TForm1::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && IsBodyPoint(event->position().toPoint())) {
        // Dragging the body moves the window as dragging the title bar does.
        if (QWindow* window = windowHandle()) window->startSystemMove();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TForm1::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && IsBodyPoint(event->position().toPoint())) {
        FormDblClick();
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}
