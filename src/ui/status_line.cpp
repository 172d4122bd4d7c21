#include "ui/status_line.h"

#include <QApplication>
#include <QProgressBar>
#include <QWidget>
#include <algorithm>

#include "engine/outcome_texts.h"
#include "support/display_text.h"
#include "support/errors.h"
#include "ui/dialogs.h"
#include "ui/notices_box.h"
#include "ui/text_bridge.h"
#include "ui/ui_texts.h"

namespace {

constexpr int64_t kFullPercent = 100;

// A caption and a bar drawn for each of 100,000 files cost more than the work itself and
// flood the window manager, which then shows the outcome minutes late: the status line is
// redrawn at most this often. The engine reports at least every kKeepAliveInterval, so
// the window still paints and takes input several times a second whatever it does.
constexpr std::chrono::milliseconds kShowInterval{100};
// The refusal of a second command stays this long before progress texts cover it again.
constexpr std::chrono::milliseconds kRefusalShown{1000};

}  // namespace

TStatusLine::TStatusLine(QWidget& window, QProgressBar& bar, bool& busyFlag, TDialogs& dialogs, TClock now)
    : window_(window), bar_(bar), busy_(busyFlag), dialogs_(dialogs), now_(std::move(now)) {}

void TStatusLine::SetCaption(const std::string& text) { window_.setWindowTitle(QStr(text)); }

void TStatusLine::ReportProgress(const TProgress& progress) {
    const auto now = now_();
    if (shownOnce_ && now - lastShown_ < kShowInterval) return;
    shownOnce_ = true;
    lastShown_ = now;
    const char* text = progress.text;
    // From the true counts; a million items move the bar as a hundred do.
    const int64_t percent = progress.total <= 0 || progress.done <= 0
                                ? 0
                                : std::min(progress.done * kFullPercent / progress.total, kFullPercent);
    // A text without position leaves the bar where it is.
    if (progress.HasPosition() || text == nullptr) bar_.setValue(static_cast<int>(percent));
    // An entry's name may hold control bytes, which a title bar must not be given raw.
    if (now >= refusalUntil_) SetCaption(PrintableText(text != nullptr ? text : ""));
    // Keeps the window painting and movable during a long command; any handler may run here.
    QApplication::processEvents();
}

ProgressProc TStatusLine::ProgressRoutine() {
    return [this](const TProgress& progress) {
        if (progress.HasPosition()) itemsDone_ = progress.done;
        ReportProgress(progress);
        // Asked for while the events above ran.
        StopWhenAsked();
    };
}

void TStatusLine::StopWhenAsked() {
    if (!stopRequested_) return;
    stopRequested_ = false;
    // The engine ends as on any raised error.
    throw ECancelled();
}

bool TStatusLine::Enter() {
    if (busy_) {
        ShowRefusal();
        return false;
    }
    busy_ = true;
    BeginCommand();
    return true;
}

void TStatusLine::Leave() { busy_ = false; }

void TStatusLine::BeginCommand() {
    bar_.setValue(0);
    shownOnce_ = false;
    refusalUntil_ = {};
    stopRequested_ = false;
    itemsDone_ = 0;
}

void TStatusLine::ShowRefusal() {
    SetCaption(RefusalText);
    refusalUntil_ = now_() + kRefusalShown;
    QApplication::processEvents();
}

void TStatusLine::AskToStop() {
    if (!busy_ || stopRequested_) return;
    if (dialogs_.Confirm(&window_, StopQuestion)) stopRequested_ = true;
}

void TStatusLine::Run(const std::function<void()>& command, TStoppedWork work) {
    try {
        command();
    } catch (const ECancelled&) {
        SetCaption(StoppedText(work));
    } catch (const std::exception& error) {
        // The outcome ends every command: no phase text is left standing as if it still ran.
        SetCaption(ErrorText);
        dialogs_.ShowError(&window_, TitleLine, RaisedErrorText(error));
    }
}

std::string TStatusLine::StoppedText(TStoppedWork work) const {
    switch (work) {
        case TStoppedWork::Extraction: return StoppedExtractionText(itemsDone_);
        // A build and an edit both write a new archive, which a stop leaves unwritten.
        case TStoppedWork::NewArchive: return kStoppedBuildText;
        case TStoppedWork::Update: break;
    }
    return kStoppedUpdateText;
}

void TStatusLine::WaitForArchive(bool begins) {
    if (begins) SetCaption(WaitingText);
    QApplication::processEvents();
    StopWhenAsked();
}

void TStatusLine::TellArchiveHolders(const std::string& holders) { SetCaption(WaitingForText(holders)); }
