// The text of the box in which the window shows what an operation told.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QTextEdit>
#include <algorithm>

#include "form_fixture.h"
#include "helpers/archive_writer.h"
#include "ui/dialogs.h"
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

// ---- a long list: the summary in the box, every line in its details ------------------------

namespace {

TNotices NumberedNotices(size_t count) {
    TNotices notices;
    for (size_t i = 0; i < count; ++i) notices.push_back({"", "line " + std::to_string(i)});
    return notices;
}

}  // namespace

TEST(NoticesBox, SeveralNoticesGiveTheFirstAndACountAsTheSummaryAndEveryOneAsTheDetails) {
    const struct {
        size_t count;
        std::string summary;
        std::string detailsEnd;  // "" for no details
    } cases[] = {
        {1, "line 0", ""},
        {2, "line 0\n... and 1 more notice: Show Details... lists them all.", "line 0\nline 1"},
        {45, "line 0\n... and 44 more notices: Show Details... lists them all.", "\nline 43\nline 44"},
        {kNoticesListed + 3, "line 0\n... and 10,002 more notices: Show Details... lists them all.",
         "\nline 9999\n... and 3 more."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        const TNoticesBoxParts parts = NoticesBoxParts(NumberedNotices(c.count));
        EXPECT_EQ(parts.summary, c.summary);
        if (c.detailsEnd.empty()) {
            EXPECT_EQ(parts.details, "");
            continue;
        }
        ASSERT_GE(parts.details.size(), c.detailsEnd.size());
        EXPECT_EQ(parts.details.substr(parts.details.size() - c.detailsEnd.size()), c.detailsEnd);
        EXPECT_EQ(parts.details.rfind("line 0\nline 1", 0), 0u);
    }
}

TEST(NoticesBox, TheDetailsOfAThousandLinesScrollInAReadOnlyAreaAndTheBoxStaysWithinTheScreen) {
    const TNoticesBoxParts parts = NoticesBoxParts(NumberedNotices(1000));
    const std::unique_ptr<QMessageBox> box = CreateDetailedMessageBox(nullptr, false, "title", parts.summary, parts.details);
    EXPECT_EQ(box->text(), QStr(parts.summary));
    EXPECT_EQ(box->detailedText(), QStr(parts.details));
    EXPECT_TRUE(box->textInteractionFlags() & Qt::TextSelectableByMouse);
    box->show();
    // The button that shows the details.
    for (QAbstractButton* button : box->buttons())
        if (box->buttonRole(button) == QMessageBox::ActionRole) button->click();
    QApplication::processEvents();
    auto* area = box->findChild<QTextEdit*>();
    ASSERT_NE(area, nullptr);
    EXPECT_TRUE(area->isVisible());
    EXPECT_TRUE(area->isReadOnly());
    EXPECT_EQ(area->toPlainText(), QStr(parts.details));
    EXPECT_TRUE(area->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_GT(area->verticalScrollBar()->maximum(), 0);  // the lines scroll
    EXPECT_LE(box->frameGeometry().height(), box->screen()->availableGeometry().height());
}

TEST_F(FormTest, ReplaceXWithHashOverManyUntaggedFilesShowsTheSummaryInTheBoxAndEveryFileInItsDetails) {
    WriteTestArchive(temp / "a.pak", TestFolder{"", {}, {{"readme.txt", Bytes("read me")}}});
    for (int i = 0; i < 30; ++i) WriteFile(temp / ("new/f" + std::to_string(100 + i) + ".txt"), "x");
    CreateForm();
    SetText("Edit1", temp / "a.pak");
    SetText("Edit2", temp / "new");
    Box("CheckBox_hash")->setChecked(true);
    Button("Button_updateX")->click();
    ASSERT_EQ(script.errors.size(), 1u);
    const TDialogScript::TError& shown = script.errors[0];
    EXPECT_EQ(std::count(shown.details.begin(), shown.details.end(), '\n'), 29);
    const std::string first = shown.details.substr(0, shown.details.find('\n'));
    EXPECT_NE(first.find("f100.txt"), std::string::npos) << first;
    EXPECT_EQ(shown.text, first + "\n... and 29 more notices: Show Details... lists them all.");
    EXPECT_NE(shown.details.find("f129.txt"), std::string::npos);
}
