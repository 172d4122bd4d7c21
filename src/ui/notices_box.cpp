#include "ui/notices_box.h"

#include "support/display_text.h"
#include "support/number_text.h"
#include "ui/main_window.h"
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

// After the caption: a false result shows its reasons as an error, a true one what it left
// alone as a warning.
void TForm1::ShowNotices(bool ok, const TNotices& notices) {
    if (notices.empty()) return;
    if (ok) services_.Dialogs->ShowWarning(this, TitleLine, NoticesBoxText(notices));
    else services_.Dialogs->ShowError(this, TitleLine, NoticesBoxText(notices));
}
