// The status line, the progress routine, the busy guard and stopping a running command.
#include <QApplication>
#include <QProgressBar>
#include <algorithm>

#include "ui/main_window.h"
#include "engine/outcome_texts.h"
#include "support/display_text.h"
#include "support/errors.h"
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

void TForm1::ReportProgress(const TProgress& progress) {
    const auto now = services_.Now();
    if (shownOnce_ && now - lastShown_ < kShowInterval) return;
    shownOnce_ = true;
    lastShown_ = now;
    const char* text = progress.text;
    // From the true counts; a million items move the bar as a hundred do.
    const int64_t percent = progress.total <= 0 || progress.done <= 0
                                ? 0
                                : std::min(progress.done * kFullPercent / progress.total, kFullPercent);
    // A text without position leaves the bar where it is.
    if (progress.HasPosition() || text == nullptr) ProgressBar1->setValue(static_cast<int>(percent));
    // An entry's name may hold control bytes, which a title bar must not be given raw.
    if (now >= refusalUntil_) SetCaption(PrintableText(text != nullptr ? text : ""));
    // Keeps the window painting and movable during a long command; any handler may run here.
    QApplication::processEvents();
}

ProgressProc TForm1::ProgressRoutine() {
    return [this](const TProgress& progress) {
        if (progress.HasPosition()) itemsDone_ = progress.done;
        ReportProgress(progress);
        // Asked for while the events above ran; the engine ends as on any raised error.
        if (stopRequested_) {
            stopRequested_ = false;
            throw ECancelled();
        }
    };
}

void TForm1::ShowRefusal() {
    SetCaption(RefusalText);
    refusalUntil_ = services_.Now() + kRefusalShown;
    QApplication::processEvents();
}

void TForm1::AskToStop() {
    if (!BusyFlag || stopRequested_) return;
    if (services_.Dialogs->Confirm(this, StopQuestion)) stopRequested_ = true;
}

void TForm1::BeginCommand() {
    ProgressBar1->setValue(0);
    shownOnce_ = false;
    refusalUntil_ = {};
    stopRequested_ = false;
    itemsDone_ = 0;
}

std::string TForm1::StoppedText(void (TForm1::*handler)()) const {
    if (handler == &TForm1::Button_XtractAllClick || handler == &TForm1::ExtractEntriesClick ||
        handler == &TForm1::PrepareDragOutClick)
        return StoppedExtractionText(itemsDone_);
    // A build and an edit both write a new archive, which a stop leaves unwritten.
    if (handler == &TForm1::Button_MakeArchiveClick || handler == &TForm1::AddFilesClick ||
        handler == &TForm1::AddFolderClick || handler == &TForm1::AddDroppedClick ||
        handler == &TForm1::RemoveEntriesClick)
        return kStoppedBuildText;
    return kStoppedUpdateText;
}

TBusyScope::TBusyScope(TForm1& form) : form_(form) {
    if (form_.BusyFlag) {
        form_.ShowRefusal();
        return;
    }
    form_.BusyFlag = true;
    form_.BeginCommand();
    entered_ = true;
}

TBusyScope::~TBusyScope() {
    if (entered_) form_.BusyFlag = false;
}
