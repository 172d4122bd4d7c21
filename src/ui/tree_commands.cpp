#include "ui/tree_commands.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <algorithm>

#include "support/count_text.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "ui/contents_tree.h"
#include "ui/dialogs.h"
#include "ui/notices_box.h"
#include "ui/put_back_texts.h"
#include "ui/status_line.h"
#include "ui/text_bridge.h"
#include "ui/ui_texts.h"

namespace {

std::string FolderWords(const std::string& folder) {
    return folder.empty() ? "the archive's root" : "the folder \"" + folder + "\"";
}

}  // namespace

TTreeCommands::TTreeCommands(QWidget& window, TContentsTree& tree, TStatusLine& status, TDialogs& dialogs,
                             const TEngineCalls& engine, const TTreeMenuHandlers& handlers)
    : window_(window), tree_(&tree), status_(status), dialogs_(dialogs), engine_(engine) {
    CreateMenu(handlers);
}

TTreeCommands::~TTreeCommands() = default;

void TTreeCommands::CreateMenu(const TTreeMenuHandlers& handlers) {
    menu_ = new QMenu(&window_);
    menu_->setObjectName(QStringLiteral("ContentsMenu"));
    if (handlers.open) {
        open_ = AddMenuAction("Action_Open", OpenEntryCaption, handlers.open);
        menu_->addSeparator();
    }
    extract_ = AddMenuAction("Action_Extract", ExtractEntriesCaption, handlers.extract);
    replace_ = AddMenuAction("Action_Replace", ReplaceEntryCaption, handlers.replace);
    menu_->addSeparator();
    addFiles_ = AddMenuAction("Action_AddFiles", AddFilesCaption, handlers.addFiles);
    addFolder_ = AddMenuAction("Action_AddFolder", AddFolderCaption, handlers.addFolder);
    remove_ = AddMenuAction("Action_Remove", RemoveEntriesCaption, handlers.remove);
    menu_->addSeparator();
    copyPath_ = AddMenuAction("Action_CopyPath", CopyPathCaption, handlers.copyPath);
    if (handlers.preview) preview_ = AddMenuAction("Action_Preview", "Preview\tF3", handlers.preview);
    menu_->addSeparator();
    details_ = AddMenuAction("Action_Details", DetailsCaption,
                             [this] { tree_->Columns().SetDetails(details_->isChecked()); });
    details_->setCheckable(true);
    connect(tree_, &TContentsTree::ContextMenuAsked, this, &TTreeCommands::ShowMenu);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &TTreeCommands::UpdateMenuItems);
    UpdateMenuItems();
}

QAction* TTreeCommands::AddMenuAction(const char* name, const std::string& caption,
                                      const std::function<void()>& handler) {
    QAction* action = menu_->addAction(QStr(caption));
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void TTreeCommands::UpdateMenuItems() {
    const bool shown = !shownArchive_.empty();
    const std::vector<TTreeEntry> entries = tree_->SelectedEntries();
    const bool some = shown && !entries.empty();
    const bool oneFile = shown && entries.size() == 1 && entries.front().isFile;
    const bool atMostOne = shown && tree_->selectedItems().size() <= 1;
    extract_->setEnabled(some);
    // Replacing in place exists for PC archives only.
    replace_->setEnabled(oneFile && !shownXbox_);
    addFiles_->setEnabled(atMostOne);
    addFolder_->setEnabled(atMostOne);
    remove_->setEnabled(some);
    copyPath_->setEnabled(some);
    if (preview_ != nullptr) preview_->setEnabled(oneFile);
    details_->setChecked(tree_->Columns().Details());
    if (open_ != nullptr)
        open_->setEnabled(some && std::all_of(entries.begin(), entries.end(), [](const TTreeEntry& e) { return e.isFile; }));
}

void TTreeCommands::ShowMenu(const QPoint& globalPos) {
    UpdateMenuItems();
    menu_->popup(globalPos);
}

void TTreeCommands::Show(std::shared_ptr<TArchiveIndex> index, const std::string& archive, bool xbox) {
    const auto count = static_cast<int64_t>(index->entries.size());
    TStringList_2_TTreeView_proba(std::move(index), tree_, "", kImageClosedRedBook, kImageClosedRedBook, true);
    tree_->Columns().NameArchive(archive, count);
    shownArchive_ = archive;
    shownXbox_ = xbox;
    shownStamp_ = ShownArchiveStamp();
    UpdateMenuItems();
}

void TTreeCommands::Refill() {
    const TTreeState state = tree_->SaveState();
    auto index = std::make_shared<TArchiveIndex>();
    TNotices notices;
    if (!engine_.ReadArchiveIndex(shownXbox_, shownArchive_, *index, &notices)) {
        // The tree shows nothing rather than what the archive held.
        Forget();
        status_.SetCaption(ErrorText);
        ShowNotices(false, notices);
        return;
    }
    const auto count = static_cast<int64_t>(index->entries.size());
    TStringList_2_TTreeView_proba(std::move(index), tree_, "", kImageClosedRedBook, kImageClosedRedBook, true);
    tree_->Columns().NameArchive(shownArchive_, count);
    tree_->RestoreState(state);
    shownStamp_ = ShownArchiveStamp();
    UpdateMenuItems();
}

void TTreeCommands::Forget() {
    TStringList_2_TTreeView_proba(nullptr, tree_, "", kImageClosedRedBook, kImageClosedRedBook, true);
    tree_->Columns().NameArchive("", 0);
    shownArchive_.clear();
    UpdateMenuItems();
}

host::EntryInfo TTreeCommands::ShownArchiveStamp() const { return host::Stat(shownArchive_); }

void TTreeCommands::KeepCurrent() {
    if (shownArchive_.empty()) return;
    const host::EntryInfo now = ShownArchiveStamp();
    if (now.kind == shownStamp_.kind && now.identity == shownStamp_.identity && now.size == shownStamp_.size &&
        now.modifiedNs == shownStamp_.modifiedNs)
        return;
    if (now.kind != host::EntryKind::File) Forget();
    else Refill();
}

void TTreeCommands::FollowArchive(const std::string& archive, bool xbox) {
    if (tree_ == nullptr || archive.empty()) return;
    const host::EntryInfo named = host::Stat(archive);
    const host::EntryInfo shown = ShownArchiveStamp();
    const bool sameFile = archive == shownArchive_ ||
                          (named.kind == host::EntryKind::File && shown.kind == host::EntryKind::File &&
                           named.identity == shown.identity);
    if (sameFile && xbox == shownXbox_) {
        KeepCurrent();
        return;
    }
    auto index = std::make_shared<TArchiveIndex>();
    TNotices notices;
    if (engine_.ReadArchiveIndex(xbox, archive, *index, &notices)) Show(std::move(index), archive, xbox);
}

void TTreeCommands::Close() {
    shownArchive_.clear();
    dragFolder_.reset();
    tree_ = nullptr;
}

void TTreeCommands::ShowNotices(bool ok, const TNotices& notices) { ::ShowNotices(dialogs_, &window_, ok, notices); }

bool TTreeCommands::Confirm(const std::string& line1, const std::string& line2, const std::string& line3) {
    return ConfirmLines(dialogs_, &window_, line1, line2, line3);
}

TSelectiveExtractionRequest TTreeCommands::EntriesExtraction(const std::vector<TTreeEntry>& entries,
                                                             const std::string& target, bool convertLoc,
                                                             TNotices* notices) {
    TSelectiveExtractionRequest request;
    request.bigEndian = shownXbox_;
    request.archivePath = shownArchive_;
    request.targetDir = target;
    for (const TTreeEntry& entry : entries) request.entryPaths.push_back(entry.path);
    // Paths from the tree are exact: a "*" in a name is no wildcard.
    request.literalPaths = true;
    request.convertLoc = convertLoc;
    request.progress = status_.ProgressRoutine();
    request.notices = notices;
    return request;
}

void TTreeCommands::ExtractSelected(const std::string& startFolder, bool hashTags, bool convertLoc) {
    TBusyScope busy(status_);
    if (!busy.Entered()) return;

    if (shownArchive_.empty()) return;
    const std::vector<TTreeEntry> entries = tree_->SelectedEntries();
    if (entries.empty()) return;
    std::string target;
    if (!dialogs_.BrowseForFolder(&window_, ExtractEntriesTitle, startFolder, target)) return;
    if (DirHasEntries(target) &&
        !Confirm("Warning!", "The target directory not empty!", "Do you really want to extract here?"))
        return;

    TNotices notices;
    TSelectiveExtractionRequest request = EntriesExtraction(entries, target, convertLoc, &notices);
    request.hashTags = hashTags;
    const TSelectiveExtractionResult result = engine_.ExtractSelected(request);
    status_.SetCaption(result.ok ? ExtractedText(result.selectedCount) : ErrorText);
    ShowNotices(result.ok, notices);
}

void TTreeCommands::ReplaceSelected(bool convertLoc) {
    TBusyScope busy(status_);
    if (!busy.Entered()) return;

    if (shownArchive_.empty() || shownXbox_) return;
    const std::vector<TTreeEntry> entries = tree_->SelectedEntries();
    if (entries.size() != 1 || !entries.front().isFile) return;
    TOpenDialogState dialog;
    dialog.Title = ReplaceEntryTitle(entries.front().path);
    dialog.Filter = "All files (*.*)|*.*";
    if (!dialogs_.ExecuteOpenDialog(&window_, dialog)) return;

    TNotices notices;
    TReplaceFileRequest request;
    request.bigEndian = false;
    request.archivePath = shownArchive_;
    request.filePath = dialog.FileName;
    // The entry is known from the tree: it is found by its path, no tag is needed.
    request.key = entries.front().path;
    request.matchByTag = false;
    request.convertLoc = convertLoc;
    request.progress = status_.ProgressRoutine();
    request.notices = &notices;
    const TReplaceResult result = engine_.ReplaceOneFile(request);
    status_.SetCaption(result.ok ? kUpdatedText : ErrorText);
    ShowNotices(result.ok, notices);
    if (result.ok) Refill();
}

void TTreeCommands::AddFiles() {
    TBusyScope busy(status_);
    if (!busy.Entered()) return;

    if (shownArchive_.empty()) return;
    TOpenDialogState dialog;
    dialog.Title = AddFilesTitle;
    dialog.Filter = "All files (*.*)|*.*";
    dialog.MultiSelect = true;
    if (!dialogs_.ExecuteOpenDialog(&window_, dialog) || dialog.FileNames.empty()) return;
    AddToShownArchive(dialog.FileNames, tree_->FolderOf(tree_->SingleSelected()));
}

void TTreeCommands::AddFolder(const std::string& startFolder) {
    TBusyScope busy(status_);
    if (!busy.Entered()) return;

    if (shownArchive_.empty()) return;
    std::string chosen;
    if (!dialogs_.BrowseForFolder(&window_, AddFolderTitle, startFolder, chosen)) return;
    AddToShownArchive({chosen}, tree_->FolderOf(tree_->SingleSelected()));
}

void TTreeCommands::AddToShownArchive(const std::vector<std::string>& paths, const std::string& folder) {
    // A host file is text where the archive holds a table: .loc texts are converted, as a
    // build converts them.
    TNotices notices;
    TAddRequest request;
    request.bigEndian = shownXbox_;
    request.archivePath = shownArchive_;
    request.paths = paths;
    request.folder = folder;
    request.convertLoc = true;
    request.progress = status_.ProgressRoutine();
    request.notices = &notices;
    const TEditResult result = engine_.AddToArchive(request);
    status_.SetCaption(result.ok ? AddedText(result.counts.added, result.counts.replaced) : ErrorText);
    ShowNotices(result.ok, notices);
    if (result.ok) Refill();
}

void TTreeCommands::RemoveSelected() {
    TBusyScope busy(status_);
    if (!busy.Entered()) return;

    if (shownArchive_.empty()) return;
    const std::vector<TTreeEntry> entries = tree_->SelectedEntries();
    if (entries.empty()) return;
    const int64_t files = tree_->SelectedFileCount();
    const std::string count = Counted(files, "file");
    if (!Confirm("Warning!", count + " will be removed from the archive!", "Do you really want to remove them?"))
        return;

    TRemoveRequest request;
    request.bigEndian = shownXbox_;
    request.archivePath = shownArchive_;
    // A folder is named with a separator at its end, so that it can only be the folder.
    for (const TTreeEntry& entry : entries) request.entries.push_back(entry.isFile ? entry.path : entry.path + "\\");
    request.progress = status_.ProgressRoutine();
    TNotices notices;
    request.notices = &notices;
    const TEditResult result = engine_.RemoveFromArchive(request);
    status_.SetCaption(result.ok ? RemovedText(result.counts.removedFiles, result.counts.removedFolders)
                                 : ErrorText);
    ShowNotices(result.ok, notices);
    if (result.ok) Refill();
}

void TTreeCommands::CopySelectedPaths() {
    TBusyScope busy(status_);
    if (!busy.Entered()) return;

    QStringList paths;
    for (const TTreeEntry& entry : tree_->SelectedEntries(false)) paths << DisplayName(entry.path);
    if (!paths.isEmpty()) QApplication::clipboard()->setText(paths.join(QLatin1Char('\n')));
}

void TTreeCommands::KeepDrop(const QList<QUrl>& urls, QTreeWidgetItem* target) {
    droppedPaths_.clear();
    for (const QUrl& url : urls) droppedPaths_.push_back(StdStr(url.toLocalFile()));
    dropFolder_ = tree_->FolderOf(target);
}

void TTreeCommands::AddDropped() {
    TBusyScope busy(status_);
    if (!busy.Entered()) return;

    const std::vector<std::string> paths = std::move(droppedPaths_);
    droppedPaths_.clear();
    if (shownArchive_.empty() || paths.empty()) return;
    const std::string count = Counted(static_cast<int64_t>(paths.size()), "dropped file or folder",
                                      "dropped files and folders");
    if (!Confirm("Warning!", count + " will be added to " + FolderWords(dropFolder_) + "!",
                 paths.size() == 1 ? "Do you really want to add it?" : "Do you really want to add them?"))
        return;
    AddToShownArchive(paths, dropFolder_);
}

QMimeData* TTreeCommands::PrepareDragOut(bool convertLoc) {
    TBusyScope busy(status_);
    if (!busy.Entered()) return nullptr;

    if (shownArchive_.empty()) return nullptr;
    const std::vector<TTreeEntry> entries = tree_->SelectedEntries();
    if (entries.empty()) return nullptr;
    // The last drag's folder goes now: its drop is long over.
    dragFolder_.reset();
    std::string problem;
    dragFolder_ = host::PrivateFolder::Make(host::TemporaryFolders(), "vpak-drag-", problem);
    if (dragFolder_ == nullptr) {
        status_.SetCaption(ErrorText);
        dialogs_.ShowError(&window_, TitleLine, DragFolderRefusal + problem);
        return nullptr;
    }
    TNotices notices;
    TSelectiveExtractionRequest request = EntriesExtraction(entries, dragFolder_->Path(), convertLoc, &notices);
    request.targetFolder = TTargetFolder::MustExist;
    const TSelectiveExtractionResult result = engine_.ExtractSelected(request);
    status_.SetCaption(result.ok ? ExtractedText(result.selectedCount) : ErrorText);
    ShowNotices(result.ok, notices);
    if (!result.ok) return nullptr;
    QList<QUrl> urls;
    for (const TTreeEntry& entry : entries)
        urls << QUrl::fromLocalFile(QStr(HostPathBelow(dragFolder_->Path(), entry.path)));
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}
