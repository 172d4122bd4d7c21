#include "ui/notices_box.h"

#include <new>

#include "support/display_text.h"
#include "support/number_text.h"
#include "ui/dialogs.h"
#include "ui/ui_texts.h"

std::string NoticeLineForWindow(const TNotice& notice) {
    std::string line = notice.text;
    if (notice.advice == TAdvice::ChooseXbox) line += ": try the \"XBOX\" box";
    if (notice.advice == TAdvice::ChoosePc) line += ": try without the \"XBOX\" box";
    // The window has no test of its own; the command line installed beside it has.
    if (notice.advice == TAdvice::TestArchive) line += ": check it with \"vpak test\" on the command line";
    return PrintableText(line);
}

std::string NoticesBoxText(const TNotices& notices) {
    std::string text;
    for (size_t i = 0; i < notices.size() && i < kNoticesShown; ++i) {
        if (i > 0) text += '\n';
        text += NoticeLineForWindow(notices[i]);
    }
    if (notices.size() > kNoticesShown)
        text += "\n... and " + GroupThousands(static_cast<int32_t>(notices.size() - kNoticesShown)) + " more.";
    return text;
}

std::string RaisedErrorText(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return kOutOfMemoryText;
    return error.what();
}

void ShowNotices(TDialogs& dialogs, QWidget* owner, bool ok, const TNotices& notices) {
    if (notices.empty()) return;
    if (ok) dialogs.ShowWarning(owner, TitleLine, NoticesBoxText(notices));
    else dialogs.ShowError(owner, TitleLine, NoticesBoxText(notices));
}
