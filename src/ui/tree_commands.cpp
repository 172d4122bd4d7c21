// The contents tree's commands: its menu (extract, replace, add, remove, copy the path),
// files dropped onto it, entries dragged out of it, and the filter line under it. Each runs
// on the archive the tree shows, as the buttons' commands run: refused while another runs,
// progress in the bar and the caption, the outcome in the caption.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <algorithm>

#include <QShortcut>

#include "support/errors.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "ui/contents_tree.h"
#include "ui/main_window.h"
#include "ui/text_bridge.h"
#include "ui/ui_texts.h"

namespace {

// Typing into the filter is applied once the keys pause this long.
constexpr int kFilterPauseMs = 150;

bool IsArchiveName(const QString& path) {
    return path.endsWith(QStr("." + ArchiveExt), Qt::CaseInsensitive);
}

// The one local archive file a drop holds; "" for anything else.
QString DroppedArchive(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return QString();
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return QString();
    const QString path = urls.front().toLocalFile();
    return IsArchiveName(path) && QFileInfo(path).isFile() ? path : QString();
}

std::string FolderWords(const std::string& folder) {
    return folder.empty() ? "the archive's root" : "the folder \"" + folder + "\"";
}

}  // namespace

QAction* TForm1::AddMenuAction(const char* name, const std::string& caption, void (TForm1::*handler)()) {
    QAction* action = ContentsMenu->addAction(QStr(caption));
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, [this, handler] { RunCommand(handler); });
    return action;
}

void TForm1::CreateContentsMenu() {
    ContentsMenu = new QMenu(this);
    ContentsMenu->setObjectName(QStringLiteral("ContentsMenu"));
    Action_Extract = AddMenuAction("Action_Extract", ExtractEntriesCaption, &TForm1::ExtractEntriesClick);
    Action_Replace = AddMenuAction("Action_Replace", ReplaceEntryCaption, &TForm1::ReplaceEntryClick);
    ContentsMenu->addSeparator();
    Action_AddFiles = AddMenuAction("Action_AddFiles", AddFilesCaption, &TForm1::AddFilesClick);
    Action_AddFolder = AddMenuAction("Action_AddFolder", AddFolderCaption, &TForm1::AddFolderClick);
    Action_Remove = AddMenuAction("Action_Remove", RemoveEntriesCaption, &TForm1::RemoveEntriesClick);
    ContentsMenu->addSeparator();
    Action_CopyPath = AddMenuAction("Action_CopyPath", CopyPathCaption, &TForm1::CopyPathClick);
    connect(ContentsTree, &TContentsTree::ContextMenuAsked, this, &TForm1::ShowContentsMenu);
    connect(ContentsTree, &QTreeWidget::itemSelectionChanged, this, &TForm1::UpdateMenuItems);
    UpdateMenuItems();
}

void TForm1::CreateTreeFilter() {
    TreeFilter = new QLineEdit(this);
    TreeFilter->setObjectName(QStringLiteral("TreeFilter"));
    TreeFilter->setPlaceholderText(QStr(FilterPlaceholder));
    TreeFilter->setClearButtonEnabled(true);
    TreeFilter->hide();
    FilterTimer = new QTimer(this);
    FilterTimer->setObjectName(QStringLiteral("FilterTimer"));
    FilterTimer->setSingleShot(true);
    FilterTimer->setInterval(kFilterPauseMs);
    connect(TreeFilter, &QLineEdit::textChanged, FilterTimer, qOverload<>(&QTimer::start));
    connect(FilterTimer, &QTimer::timeout, this, [this] {
        if (ContentsTree != nullptr) ContentsTree->SetFilter(TreeFilter->text());
    });
    auto* find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] { ShowFilter(); });
}

void TForm1::ShowFilter() {
    if (TreeFilter->isHidden()) {
        TreeFilter->show();
        LayOutControls();
    }
    TreeFilter->setFocus();
    TreeFilter->selectAll();
}

void TForm1::HideFilter() {
    TreeFilter->clear();
    FilterTimer->stop();
    ContentsTree->SetFilter(QString());
    TreeFilter->hide();
    LayOutControls();
    ContentsTree->setFocus();
}

void TForm1::EscapePressed() {
    if (BusyFlag) AskToStop();
    else if (!TreeFilter->isHidden()) HideFilter();
}

void TForm1::UpdateMenuItems() {
    const bool shown = !shownArchive_.empty();
    const std::vector<TTreeEntry> entries = ContentsTree->SelectedEntries();
    const bool some = shown && !entries.empty();
    const bool oneFile = shown && entries.size() == 1 && entries.front().isFile;
    const bool atMostOne = shown && ContentsTree->selectedItems().size() <= 1;
    Action_Extract->setEnabled(some);
    // Replacing in place exists for PC archives only.
    Action_Replace->setEnabled(oneFile && !shownXbox_);
    Action_AddFiles->setEnabled(atMostOne);
    Action_AddFolder->setEnabled(atMostOne);
    Action_Remove->setEnabled(some);
    Action_CopyPath->setEnabled(some);
}

void TForm1::ShowContentsMenu(const QPoint& globalPos) {
    UpdateMenuItems();
    ContentsMenu->popup(globalPos);
}

TSelectiveExtractionRequest TForm1::EntriesExtraction(const std::vector<TTreeEntry>& entries,
                                                      const std::string& target, TNotices* notices) {
    TSelectiveExtractionRequest request;
    request.bigEndian = shownXbox_;
    request.archivePath = shownArchive_;
    request.targetDir = target;
    for (const TTreeEntry& entry : entries) request.entryPaths.push_back(entry.path);
    // Paths from the tree are exact: a "*" in a name is no wildcard.
    request.literalPaths = true;
    request.convertLoc = AutoConvertLOCfiles;
    request.progress = ProgressRoutine();
    request.notices = notices;
    return request;
}

void TForm1::ExtractEntriesClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    const std::vector<TTreeEntry> entries = ContentsTree->SelectedEntries();
    if (shownArchive_.empty() || entries.empty()) return;
    std::string target;
    if (!services_.Dialogs->BrowseForFolder(this, ExtractEntriesTitle, DirectoryBoxFolder(), target)) return;
    if (DirHasEntries(target) &&
        !Confirm("Warning!", "The target directory not empty!", "Do you really want to extract here?"))
        return;

    TNotices notices;
    TSelectiveExtractionRequest request = EntriesExtraction(entries, target, &notices);
    request.hashTags = CheckBox_hash->isChecked();
    const TSelectiveExtractionResult result = services_.Engine.ExtractSelected(request);
    SetCaption(result.ok ? ExtractedText(result.selectedCount) : ErrorText);
    ShowNotices(result.ok, notices);
}

void TForm1::ReplaceEntryClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    const std::vector<TTreeEntry> entries = ContentsTree->SelectedEntries();
    if (shownArchive_.empty() || shownXbox_ || entries.size() != 1 || !entries.front().isFile) return;
    TOpenDialogState dialog;
    dialog.Title = ReplaceEntryTitle(entries.front().path);
    dialog.Filter = "All files (*.*)|*.*";
    if (!services_.Dialogs->ExecuteOpenDialog(this, dialog)) return;

    TNotices notices;
    TReplaceFileRequest request;
    request.bigEndian = false;
    request.archivePath = shownArchive_;
    request.filePath = dialog.FileName;
    // The entry is known from the tree: it is found by its path, no tag is needed.
    request.key = entries.front().path;
    request.matchByTag = false;
    request.convertLoc = AutoConvertLOCfiles;
    request.progress = ProgressRoutine();
    request.notices = &notices;
    const TReplaceResult result = services_.Engine.ReplaceOneFile(request);
    SetCaption(result.ok ? kUpdatedText : ErrorText);
    ShowNotices(result.ok, notices);
    if (result.ok) RefillContentsTree();
}

void TForm1::AddFilesClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    if (shownArchive_.empty()) return;
    TOpenDialogState dialog;
    dialog.Title = AddFilesTitle;
    dialog.Filter = "All files (*.*)|*.*";
    dialog.MultiSelect = true;
    if (!services_.Dialogs->ExecuteOpenDialog(this, dialog) || dialog.FileNames.empty()) return;
    AddToShownArchive(dialog.FileNames, ContentsTree->FolderOf(ContentsTree->SingleSelected()));
}

void TForm1::AddFolderClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    if (shownArchive_.empty()) return;
    std::string chosen;
    if (!services_.Dialogs->BrowseForFolder(this, AddFolderTitle, DirectoryBoxFolder(), chosen)) return;
    AddToShownArchive({chosen}, ContentsTree->FolderOf(ContentsTree->SingleSelected()));
}

void TForm1::AddToShownArchive(const std::vector<std::string>& paths, const std::string& folder) {
    // A host file is text where the archive holds a table: .loc texts are converted, as a
    // build converts them.
    TNotices notices;
    TAddRequest request;
    request.bigEndian = shownXbox_;
    request.archivePath = shownArchive_;
    request.paths = paths;
    request.folder = folder;
    request.convertLoc = true;
    request.progress = ProgressRoutine();
    request.notices = &notices;
    const TEditResult result = services_.Engine.AddToArchive(request);
    SetCaption(result.ok ? AddedText(result.counts.added, result.counts.replaced) : ErrorText);
    ShowNotices(result.ok, notices);
    if (result.ok) RefillContentsTree();
}

void TForm1::RemoveEntriesClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    const std::vector<TTreeEntry> entries = ContentsTree->SelectedEntries();
    if (shownArchive_.empty() || entries.empty()) return;
    const int64_t files = ContentsTree->SelectedFileCount();
    const std::string count = GroupThousands(files) + (files == 1 ? " file" : " files");
    if (!Confirm("Warning!", count + " will be removed from the archive!", "Do you really want to remove them?"))
        return;

    TRemoveRequest request;
    request.bigEndian = shownXbox_;
    request.archivePath = shownArchive_;
    // A folder is named with a separator at its end, so that it can only be the folder.
    for (const TTreeEntry& entry : entries) request.entries.push_back(entry.isFile ? entry.path : entry.path + "\\");
    request.progress = ProgressRoutine();
    TNotices notices;
    request.notices = &notices;
    const TEditResult result = services_.Engine.RemoveFromArchive(request);
    SetCaption(result.ok ? RemovedText(result.counts.removedFiles, result.counts.removedFolders) : ErrorText);
    ShowNotices(result.ok, notices);
    if (result.ok) RefillContentsTree();
}

void TForm1::CopyPathClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    QStringList paths;
    for (const TTreeEntry& entry : ContentsTree->SelectedEntries()) paths << DisplayName(entry.path);
    if (!paths.isEmpty()) QApplication::clipboard()->setText(paths.join(QLatin1Char('\n')));
}

void TForm1::RefillContentsTree() {
    const TTreeState state = ContentsTree->SaveState();
    auto index = std::make_shared<TArchiveIndex>();
    TNotices notices;
    if (!services_.Engine.ReadArchiveIndex(shownXbox_, shownArchive_, *index, &notices)) {
        // The tree shows nothing rather than what the archive held.
        ForgetShownArchive();
        SetCaption(ErrorText);
        ShowNotices(false, notices);
        return;
    }
    TStringList_2_TTreeView_proba(std::move(index), ContentsTree, "", kImageClosedRedBook, kImageClosedRedBook, true);
    ContentsTree->RestoreState(state);
    shownStamp_ = ShownArchiveStamp();
    UpdateMenuItems();
}

void TForm1::ForgetShownArchive() {
    TStringList_2_TTreeView_proba(nullptr, ContentsTree, "", kImageClosedRedBook, kImageClosedRedBook, true);
    shownArchive_.clear();
    UpdateMenuItems();
}

host::EntryInfo TForm1::ShownArchiveStamp() const { return host::Stat(shownArchive_); }

void TForm1::KeepTreeCurrent() {
    if (shownArchive_.empty()) return;
    const host::EntryInfo now = ShownArchiveStamp();
    if (now.kind == shownStamp_.kind && now.identity == shownStamp_.identity && now.size == shownStamp_.size &&
        now.modifiedNs == shownStamp_.modifiedNs)
        return;
    if (now.kind != host::EntryKind::File) ForgetShownArchive();
    else RefillContentsTree();
}

void TForm1::WaitForArchive(bool begins) {
    if (begins) SetCaption(WaitingText);
    QApplication::processEvents();
    if (stopRequested_) {
        stopRequested_ = false;
        throw ECancelled();
    }
}

void TForm1::TellArchiveHolders(const std::string& holders) { SetCaption(WaitingForText(holders)); }

void TForm1::DropOntoTree(const QList<QUrl>& urls, QTreeWidgetItem* target) {
    droppedPaths_.clear();
    for (const QUrl& url : urls) droppedPaths_.push_back(StdStr(url.toLocalFile()));
    dropFolder_ = ContentsTree->FolderOf(target);
    // The file manager waits for the drop to end: the command runs once it has.
    QTimer::singleShot(0, this, [this] { RunCommand(&TForm1::AddDroppedClick); });
}

void TForm1::AddDroppedClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    const std::vector<std::string> paths = std::move(droppedPaths_);
    droppedPaths_.clear();
    if (shownArchive_.empty() || paths.empty()) return;
    const std::string count = GroupThousands(static_cast<int64_t>(paths.size()));
    if (!Confirm("Warning!", count + " dropped files and folders will be added to " + FolderWords(dropFolder_) + "!",
                 "Do you really want to add them?"))
        return;
    AddToShownArchive(paths, dropFolder_);
}

QMimeData* TForm1::DragOutEntries() {
    dragData_ = nullptr;
    RunCommand(&TForm1::PrepareDragOutClick);
    QMimeData* data = dragData_;
    dragData_ = nullptr;
    return data;
}

void TForm1::PrepareDragOutClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    const std::vector<TTreeEntry> entries = ContentsTree->SelectedEntries();
    if (shownArchive_.empty() || entries.empty()) return;
    // The last drag's folder goes now: its drop is long over.
    dragFolder_.reset();
    std::string problem;
    dragFolder_ = host::PrivateFolder::Make(host::TemporaryFolders(), "vpak-drag-", problem);
    if (dragFolder_ == nullptr) {
        SetCaption(ErrorText);
        services_.Dialogs->ShowError(this, TitleLine, DragFolderRefusal + problem);
        return;
    }
    TNotices notices;
    TSelectiveExtractionRequest request = EntriesExtraction(entries, dragFolder_->Path(), &notices);
    request.targetFolder = TTargetFolder::MustExist;
    const TSelectiveExtractionResult result = services_.Engine.ExtractSelected(request);
    SetCaption(result.ok ? ExtractedText(result.selectedCount) : ErrorText);
    ShowNotices(result.ok, notices);
    if (!result.ok) return;
    QList<QUrl> urls;
    for (const TTreeEntry& entry : entries)
        urls << QUrl::fromLocalFile(QStr(HostPathBelow(dragFolder_->Path(), entry.path)));
    dragData_ = new QMimeData;
    dragData_->setUrls(urls);
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
        if (BusyFlag) ShowRefusal();
        else OpenGivenArchive(path);
    });
}
