#include "ui/notices_box.h"

#include <new>

#include "support/display_text.h"
#include "support/count_text.h"
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

namespace {

// The lines of the first count notices, then how many more there are.
std::string NoticeLines(const TNotices& notices, size_t count) {
    std::string text;
    for (size_t i = 0; i < notices.size() && i < count; ++i) {
        if (i > 0) text += '\n';
        text += NoticeLineForWindow(notices[i]);
    }
    if (notices.size() > count) text += "\n... and " + GroupThousands(static_cast<int64_t>(notices.size() - count)) + " more.";
    return text;
}

}  // namespace

std::string NoticesBoxText(const TNotices& notices) { return NoticeLines(notices, kNoticesShown); }

TNoticesBoxParts NoticesBoxParts(const TNotices& notices) {
    if (notices.size() <= 1) return {NoticesBoxText(notices), ""};
    const std::string more = Counted(static_cast<int64_t>(notices.size() - 1), "more notice", "more notices");
    return {NoticeLineForWindow(notices[0]) + "\n... and " + more + ": Show Details... lists them all.",
            NoticeLines(notices, kNoticesListed)};
}

std::string RaisedErrorText(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return kOutOfMemoryText;
    return error.what();
}

void ShowNotices(TDialogs& dialogs, QWidget* owner, bool ok, const TNotices& notices) {
    if (notices.empty()) return;
    const TNoticesBoxParts parts = NoticesBoxParts(notices);
    dialogs.ShowWithDetails(owner, !ok, TitleLine, parts.summary, parts.details);
}
