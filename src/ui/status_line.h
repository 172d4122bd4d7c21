// The window's status line: the caption and the progress bar while a command runs, the busy
// state that refuses a second command, the request to stop the running one, and the caption
// that tells how a command ended.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "support/progress.h"

class QProgressBar;
class QWidget;
class TDialogs;

using TClock = std::function<std::chrono::steady_clock::time_point()>;

// What a stopped command had been doing, for the caption that tells how it ended.
enum class TStoppedWork { Extraction, NewArchive, Update };

class TStatusLine {
public:
    // window's caption is the status line; busyFlag is the window's mark of a running
    // command; the question to stop is asked through dialogs; now paces the caption.
    TStatusLine(QWidget& window, QProgressBar& bar, bool& busyFlag, TDialogs& dialogs, TClock now);

    void SetCaption(const std::string& text);

    // The progress routine handed to the engine: moves the bar, shows the text in the
    // caption and processes pending window events, at most once in kShowInterval (the
    // first report of a command at once).
    void ReportProgress(const TProgress& progress);
    // ReportProgress for one command's engine operation, which it ends once a stop was asked for.
    ProgressProc ProgressRoutine();

    // A command begins: false, with the refusal shown, while another runs; else the window
    // is busy until Leave.
    bool Enter();
    void Leave();
    // The bar, the pace of the status line and any stop request start anew.
    void BeginCommand();

    // Shows that a command was refused, long enough to be read, while the running one goes on.
    void ShowRefusal();
    // Asks whether to stop the running command; on Yes it ends at its next report.
    void AskToStop();
    bool StopRequested() const { return stopRequested_; }

    // Runs one command, which ends in the caption however it ends: stopped, with what it had
    // done when doing work; ended by an error, with the error text and a box that tells it.
    void Run(const std::function<void()>& command, TStoppedWork work);

    // While another program holds the archive: the caption says so, the window keeps
    // painting, and a stop asked for meanwhile gives up the wait.
    void WaitForArchive(bool begins);
    // The caption names who holds the archive once a wait has lasted a while.
    void TellArchiveHolders(const std::string& holders);

private:
    // What the caption says once a command doing work was stopped.
    std::string StoppedText(TStoppedWork work) const;
    // Ends the running command, as on any raised error, when a stop was asked for.
    void StopWhenAsked();

    QWidget& window_;
    QProgressBar& bar_;
    bool& busy_;
    TDialogs& dialogs_;
    TClock now_;

    bool shownOnce_ = false;
    std::chrono::steady_clock::time_point lastShown_{};
    std::chrono::steady_clock::time_point refusalUntil_{};
    bool stopRequested_ = false;
    int64_t itemsDone_ = 0;  // by the running command's last report with a position
};

// The busy guard of one command: refuses when another command runs, otherwise marks the
// window busy until the command ends, however it ends.
class TBusyScope {
public:
    explicit TBusyScope(TStatusLine& status) : status_(status), entered_(status.Enter()) {}
    ~TBusyScope() {
        if (entered_) status_.Leave();
    }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

    bool Entered() const { return entered_; }

private:
    TStatusLine& status_;
    bool entered_;
};
