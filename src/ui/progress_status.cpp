// The status line, the progress routine and the busy guard.
#include <QApplication>
#include <algorithm>
#include <QProgressBar>

#include "ui/main_window.h"
#include "ui/ui_texts.h"

namespace {

constexpr uint32_t kDoneMask = 0xFFFF;
constexpr int kTotalShift = 16;
constexpr uint32_t kFullPercent = 100;

}  // namespace

void TForm1::ReportProgress(uint32_t position, const char* text) {
    const uint32_t done = position & kDoneMask;
    const uint32_t total = position >> kTotalShift;
    const uint32_t percent = total == 0 ? 0 : std::min(done * kFullPercent / total, kFullPercent);
    // A text without position leaves the bar where it is.
    if (position != 0 || text == nullptr) ProgressBar1->setValue(static_cast<int>(percent));
    SetCaption(text != nullptr ? text : "");
    // Keeps the window painting and movable during a long command; any handler may run here.
    QApplication::processEvents();
}

TBusyScope::TBusyScope(TForm1& form) : form_(form) {
    if (form_.BusyFlag) {
        form_.ReportProgress(0, RefusalText.c_str());
        return;
    }
    form_.BusyFlag = true;
    entered_ = true;
}

TBusyScope::~TBusyScope() {
    if (entered_) form_.BusyFlag = false;
}
