// Entries of the archive opened in the desktop's program for their type: each is extracted
// to a private folder of its own under its own name, opened through the desktop (never with a
// program the archive names), and watched; once a copy was changed and has stayed unchanged a
// moment, the window asks whether to put it back into the archive it came from.
#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/entry_info.h"
#include "ui/engine_calls.h"

class QFileSystemWatcher;
class QUrl;
class QWidget;
class TContentsTree;
class TDialogs;
class TStatusLine;
struct TOpenedCopy;

// Opens a local file in the desktop's program for its type; false when none would.
using TOpenInProgramProc = std::function<bool(const QUrl& file)>;
// The desktop's own: QDesktopServices::openUrl, which hands the file to xdg-open on Linux.
TOpenInProgramProc DesktopOpener();

class TOpenedEntries : public QObject {
    Q_OBJECT
public:
    // The questions belong to window; busy is the window's mark of a running command, which a
    // question waits for; archiveChanged is told after a put back, to show the archive anew.
    TOpenedEntries(QWidget& window, TContentsTree& tree, TStatusLine& status, const bool& busy, TDialogs& dialogs,
                   const TEngineCalls& engine, TOpenInProgramProc openInProgram, std::function<void()> archiveChanged);
    ~TOpenedEntries() override;

    // The files selected in the tree, of archive read in this byte order, each opened in its
    // program; an entry still open is opened again as it is, not extracted anew. convertLoc:
    // a .loc table is opened as its text (the window's AutoConvertLOCfiles).
    void OpenSelected(const std::string& archive, bool xbox, bool convertLoc);

    // The archive paths of the copies changed and not put back (a No, a refusal, or a change
    // not asked about yet).
    std::vector<std::string> UnstoredEntries() const;
    // Before the window closes: true when nothing is unstored, or the user lets it go.
    bool MayClose();
    // The window closes: no more questions, the private folders go.
    void Close();

    // The window's own edit wrote archive anew, as file after instead of before: the copies
    // taken from before go with it.
    void ArchiveRewritten(const std::string& archive, const host::FileIdentity& before,
                          const host::FileIdentity& after);

    // How long a changed copy must stay unchanged before the question.
    void SetQuietPeriod(std::chrono::milliseconds period) { quietPeriod_ = period; }

private:
    void OpenOne(const std::string& archive, bool xbox, bool convertLoc, const std::string& entry);
    TOpenedCopy* Find(const std::string& archive, const std::string& entry) const;
    // The entry written to its copy's private folder, as the tree's extraction writes it.
    bool ExtractCopy(const TOpenedCopy& copy, bool convertLoc, TNotices& notices);
    bool OpenCopy(const TOpenedCopy& copy);
    void Watch(const TOpenedCopy& copy);
    // Something changed in a watched file or folder: the copies concerned wait for quiet.
    void Changed(const QString& path);
    void QuietEnded(const std::shared_ptr<TOpenedCopy>& copy);
    void Ask(const std::shared_ptr<TOpenedCopy>& copy, const host::EntryInfo& now);
    void PutBack(TOpenedCopy& copy, const host::EntryInfo& now);

    QWidget& window_;
    TContentsTree& tree_;
    TStatusLine& status_;
    const bool& busy_;
    TDialogs& dialogs_;
    const TEngineCalls& engine_;
    TOpenInProgramProc openInProgram_;
    std::function<void()> archiveChanged_;

    QFileSystemWatcher* watcher_ = nullptr;
    std::vector<std::shared_ptr<TOpenedCopy>> copies_;
    std::chrono::milliseconds quietPeriod_{700};
    bool asking_ = false;
    bool closed_ = false;
};
