#include "cli/command_notices.h"

#include <iostream>
#include <string>

#include "support/display_text.h"

namespace {

// The notice as a line of standard error, without "vpak: ".
std::string NoticeLine(const TNotice& notice) {
    std::string line = notice.text;
    if (notice.advice == TAdvice::ChooseXbox) line += ": try --xbox";
    if (notice.advice == TAdvice::ChoosePc) line += ": try without --xbox";
    if (notice.advice == TAdvice::TestArchive) line += ": check it with \"vpak test\"";
    return PrintableText(line);
}

}  // namespace

void CommandNotices::Print() {
    for (const TNotice& notice : notices_) std::cerr << "vpak: " << NoticeLine(notice) << '\n';
    notices_.clear();
}
