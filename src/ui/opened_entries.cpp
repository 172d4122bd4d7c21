#include "ui/opened_entries.h"

#include <QDesktopServices>
#include <QFileSystemWatcher>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <algorithm>

#include "engine/format/loc_convert.h"
#include "support/host_entries.h"
#include "support/paths.h"
#include "support/private_folder.h"
#include "ui/contents_tree.h"
#include "ui/dialogs.h"
#include "ui/entry_store.h"
#include "ui/notices_box.h"
#include "ui/put_back_texts.h"
#include "ui/status_line.h"
#include "ui/text_bridge.h"
#include "ui/ui_texts.h"

// One entry opened in its program: where its copy lies, and what the archive holds of it.
struct TOpenedCopy {
    std::string archive;
    bool xbox = false;
    host::FileIdentity archiveIdentity;  // the archive file the copy was taken from
    std::string entry;
    bool locText = false;  // the copy is a .loc table's text
    std::unique_ptr<host::PrivateFolder> folder;
    std::string path;  // the copy
    // The copy as the archive holds it (extracted or put back), as last asked about, and as
    // last seen changing.
    host::EntryInfo stored, asked, seen;
    std::unique_ptr<QTimer> quiet;
};

namespace {

// The same file with the same content, as far as the file system tells: a save that writes
// a new file and renames it over the copy changes the identity, any other its time.
bool SameState(const host::EntryInfo& a, const host::EntryInfo& b) {
    return a.kind == b.kind && a.size == b.size && a.identity == b.identity && a.modifiedNs == b.modifiedNs;
}

// The folders a copy may go to: below $XDG_RUNTIME_DIR, which is this user's alone and goes
// at logout, else below the folder for temporary files.
std::vector<host::TemporaryFolder> CopyFolders() {
    std::vector<host::TemporaryFolder> folders = host::TemporaryFolders();
    std::stable_partition(folders.begin(), folders.end(),
                          [](const host::TemporaryFolder& folder) { return folder.source == "$XDG_RUNTIME_DIR"; });
    return folders;
}

std::string Shown(const std::string& entry) { return StdStr(DisplayName(entry)); }

}  // namespace

TOpenInProgramProc DesktopOpener() {
    return [](const QUrl& file) { return QDesktopServices::openUrl(file); };
}

TOpenedEntries::TOpenedEntries(QWidget& window, TContentsTree& tree, TStatusLine& status, const bool& busy,
                               TDialogs& dialogs, const TEngineCalls& engine, TOpenInProgramProc openInProgram,
                               std::function<void()> archiveChanged)
    : QObject(&window),
      window_(window),
      tree_(tree),
      status_(status),
      busy_(busy),
      dialogs_(dialogs),
      engine_(engine),
      openInProgram_(std::move(openInProgram)),
      archiveChanged_(std::move(archiveChanged)),
      watcher_(new QFileSystemWatcher(this)) {
    setObjectName(QStringLiteral("OpenedEntries"));
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &TOpenedEntries::Changed);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &TOpenedEntries::Changed);
}

TOpenedEntries::~TOpenedEntries() = default;

void TOpenedEntries::OpenSelected(const std::string& archive, bool xbox, bool convertLoc) {
    TBusyScope busy(status_);
    if (!busy.Entered()) return;

    if (archive.empty() || closed_) return;
    for (const TTreeEntry& entry : tree_.SelectedEntries())
        if (entry.isFile) OpenOne(archive, xbox, convertLoc, entry.path);
}

TOpenedCopy* TOpenedEntries::Find(const std::string& archive, const std::string& entry) const {
    for (const auto& copy : copies_)
        if (copy->archive == archive && copy->entry == entry) return copy.get();
    return nullptr;
}

void TOpenedEntries::OpenOne(const std::string& archive, bool xbox, bool convertLoc, const std::string& entry) {
    // An entry still open may hold edits not put back yet: it is shown again, not overwritten.
    if (TOpenedCopy* open = Find(archive, entry); open != nullptr) {
        if (host::Stat(open->path).kind == host::EntryKind::File) {
            if (OpenCopy(*open)) status_.SetCaption(OpenedText(Shown(entry)));
            return;
        }
        // Its copy was removed: it is made anew.
        std::erase_if(copies_, [open](const auto& copy) { return copy.get() == open; });
    }
    auto copy = std::make_shared<TOpenedCopy>();
    copy->archive = archive;
    copy->xbox = xbox;
    copy->entry = entry;
    copy->locText = convertLoc && IsLocFileName(entry);
    // Taken before the copy, so that an archive replaced meanwhile is never taken for this one.
    copy->archiveIdentity = host::Stat(archive).identity;
    std::string problem;
    copy->folder = host::PrivateFolder::Make(CopyFolders(), "vpak-open-", problem);
    if (copy->folder == nullptr) {
        status_.SetCaption(ErrorText);
        dialogs_.ShowError(&window_, TitleLine, OpenFolderRefusal + problem);
        return;
    }

    TNotices notices;
    if (!ExtractCopy(*copy, convertLoc, notices)) {
        status_.SetCaption(ErrorText);
        ShowNotices(dialogs_, &window_, false, notices);
        return;
    }
    copy->path = HostPathBelow(copy->folder->Path(), entry);
    copy->stored = copy->asked = copy->seen = host::Stat(copy->path);
    copy->quiet = std::make_unique<QTimer>();
    copy->quiet->setSingleShot(true);
    const std::weak_ptr<TOpenedCopy> weak = copy;
    connect(copy->quiet.get(), &QTimer::timeout, this, [this, weak] {
        if (auto held = weak.lock()) QuietEnded(held);
    });
    // Watched before the program starts, so that no save of its own comes too early to be seen.
    Watch(*copy);
    if (!OpenCopy(*copy)) {
        watcher_->removePaths({QStr(copy->path), QStr(host::ParentDirectoryOf(copy->path))});
        return;
    }
    copies_.push_back(std::move(copy));
    status_.SetCaption(OpenedText(Shown(entry)));
    ShowNotices(dialogs_, &window_, true, notices);
}

bool TOpenedEntries::ExtractCopy(const TOpenedCopy& copy, bool convertLoc, TNotices& notices) {
    TSelectiveExtractionRequest request;
    request.bigEndian = copy.xbox;
    request.archivePath = copy.archive;
    request.targetDir = copy.folder->Path();
    request.entryPaths = {copy.entry};
    request.literalPaths = true;
    request.convertLoc = convertLoc;
    request.targetFolder = TTargetFolder::MustExist;
    request.progress = status_.ProgressRoutine();
    request.notices = &notices;
    return engine_.ExtractSelected(request).ok;
}

bool TOpenedEntries::OpenCopy(const TOpenedCopy& copy) {
    if (openInProgram_(QUrl::fromLocalFile(QStr(copy.path)))) return true;
    status_.SetCaption(ErrorText);
    dialogs_.ShowError(&window_, TitleLine, NoProgramText(Shown(copy.entry)));
    return false;
}

void TOpenedEntries::Watch(const TOpenedCopy& copy) {
    // A save that writes a new file and renames it over the copy ends the watch of the file;
    // the folder's watch sees the new one arrive.
    const QString file = QStr(copy.path);
    const QString folder = QStr(host::ParentDirectoryOf(copy.path));
    if (!watcher_->directories().contains(folder)) watcher_->addPath(folder);
    if (!watcher_->files().contains(file) && host::Stat(copy.path).kind == host::EntryKind::File)
        watcher_->addPath(file);
}

void TOpenedEntries::Changed(const QString& path) {
    if (closed_) return;
    const std::string changed = StdStr(path);
    for (const auto& copy : copies_) {
        if (copy->path != changed && host::ParentDirectoryOf(copy->path) != changed) continue;
        const host::EntryInfo now = host::Stat(copy->path);
        // The folder changes for other files too (an editor's backup, its lock file).
        if (copy->path != changed && SameState(now, copy->seen) && !copy->quiet->isActive()) continue;
        copy->seen = now;
        Watch(*copy);
        copy->quiet->start(quietPeriod_);
    }
}

void TOpenedEntries::QuietEnded(const std::shared_ptr<TOpenedCopy>& copy) {
    if (closed_) return;
    const host::EntryInfo now = host::Stat(copy->path);
    if (!SameState(now, copy->seen)) {
        // Still being written: wait for quiet again.
        copy->seen = now;
        Watch(*copy);
        copy->quiet->start(quietPeriod_);
        return;
    }
    // Gone (an editor between removing and writing it) or as last decided: nothing to ask.
    if (now.kind != host::EntryKind::File || SameState(now, copy->asked) || SameState(now, copy->stored)) return;
    // The question waits for the running command, and for the question about another copy.
    if (busy_ || asking_) {
        copy->quiet->start(quietPeriod_);
        return;
    }
    Ask(copy, now);
}

void TOpenedEntries::Ask(const std::shared_ptr<TOpenedCopy>& copy, const host::EntryInfo& now) {
    asking_ = true;
    const bool yes = dialogs_.Ask(&window_, TitleLine, PutBackQuestion(Shown(copy->entry)));
    asking_ = false;
    if (closed_) return;
    copy->asked = now;
    if (yes) PutBack(*copy, now);
}

void TOpenedEntries::PutBack(TOpenedCopy& copy, const host::EntryInfo& now) {
    TBusyScope busy(status_);
    if (!busy.Entered()) return;

    status_.Run(
        [&] {
            TNotices notices;
            TEntryStoreRequest request;
            request.xbox = copy.xbox;
            request.archivePath = copy.archive;
            request.archiveIdentity = copy.archiveIdentity;
            request.entryPath = copy.entry;
            request.filePath = copy.path;
            request.locText = copy.locText;
            request.progress = status_.ProgressRoutine();
            request.notices = &notices;
            const TEntryStoreResult result = StoreEntry(engine_, request);
            if (result.Stored()) {
                copy.stored = now;
                const host::FileIdentity before = copy.archiveIdentity;  // not a reference: it changes
                ArchiveRewritten(copy.archive, before, result.archiveIdentity);
                status_.SetCaption(kUpdatedText);
                ShowNotices(dialogs_, &window_, true, notices);
                if (archiveChanged_) archiveChanged_();
                return;
            }
            status_.SetCaption(ErrorText);
            if (result.reason.empty()) ShowNotices(dialogs_, &window_, false, notices);
            else dialogs_.ShowError(&window_, TitleLine, result.reason);
        },
        TStoppedWork::Update);
}

void TOpenedEntries::ArchiveRewritten(const std::string& archive, const host::FileIdentity& before,
                                      const host::FileIdentity& after) {
    for (const auto& copy : copies_)
        if (copy->archive == archive && copy->archiveIdentity == before) copy->archiveIdentity = after;
}

std::vector<std::string> TOpenedEntries::UnstoredEntries() const {
    std::vector<std::string> entries;
    for (const auto& copy : copies_) {
        const host::EntryInfo now = host::Stat(copy->path);
        if (now.kind == host::EntryKind::File && !SameState(now, copy->stored)) entries.push_back(copy->entry);
    }
    return entries;
}

bool TOpenedEntries::MayClose() {
    if (closed_) return true;
    const std::vector<std::string> entries = UnstoredEntries();
    if (entries.empty()) return true;
    std::vector<std::string> shown;
    for (const std::string& entry : entries) shown.push_back(Shown(entry));
    return dialogs_.Confirm(&window_, UnstoredCloseQuestion(shown));
}

void TOpenedEntries::Close() {
    closed_ = true;
    watcher_->disconnect(this);
    copies_.clear();
}
