// The text of the box in which the window shows what an operation told.
#include <gtest/gtest.h>

#include "ui/notices_box.h"

TEST(NoticesBox, EachNoticeIsWordedForTheWindow) {
    const struct {
        TNotice notice;
        std::string line;
    } cases[] = {
        {{"x.pak", "cannot read the archive \"x.pak\": it reads as an Xbox 360 archive", TAdvice::ChooseXbox},
         "cannot read the archive \"x.pak\": it reads as an Xbox 360 archive: try the \"XBOX\" box"},
        {{"x.pak", "cannot read the archive \"x.pak\": it reads as a PC archive", TAdvice::ChoosePc},
         "cannot read the archive \"x.pak\": it reads as a PC archive: try without the \"XBOX\" box"},
        {{"a\nb", "cannot extract \"a\nb\x1b[2J\": why", TAdvice::None}, "cannot extract \"a<0A>b<1B>[2J\": why"},
    };
    for (const auto& c : cases) EXPECT_EQ(NoticeLineForWindow(c.notice), c.line);
}

TEST(NoticesBox, ShowsOneLinePerNoticeAndCountsThoseBeyondTheFirstTwenty) {
    TNotices notices;
    for (int i = 0; i < 23; ++i) notices.push_back({"", "line " + std::to_string(i)});
    const std::string text = NoticesBoxText(notices);
    EXPECT_EQ(text.substr(0, 14), "line 0\nline 1\n");
    EXPECT_NE(text.find("\nline 19\n... and 3 more."), std::string::npos) << text;
    EXPECT_EQ(text.find("line 20"), std::string::npos);
    notices.resize(2);
    EXPECT_EQ(NoticesBoxText(notices), "line 0\nline 1");
}
