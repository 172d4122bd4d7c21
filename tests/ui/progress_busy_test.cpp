// The progress routine, the busy guard, and closing while a command runs.
#include <QTimer>
#include <filesystem>

#include "form_fixture.h"
#include "helpers/archive_writer.h"
#include "ui/ui_texts.h"

namespace fs = std::filesystem;

namespace {

uint32_t Packed(uint32_t total, uint32_t done) { return (total << 16) | done; }

// An extraction that reports three files and succeeds; run is called between the reports.
TEngineCalls ThreeFileExtraction(std::function<void(int)> between = [](int) {}) {
    TEngineCalls engine = EngineOperations();
    engine.ExtractArchive = [between](bool, const std::string&, TStringList& listing, int32_t&, int32_t&,
                                      const std::string&, bool, bool, const ProgressProc& progress, TNotices*,
                                      TTargetFolder) {
        listing = {"a", "b", "c"};
        for (uint32_t i = 1; i <= 3; ++i) {
            Report(progress, Packed(3, i), listing[i - 1].c_str());
            between(static_cast<int>(i));
        }
        return true;
    };
    return engine;
}

}  // namespace

TEST_F(FormTest, ReportWithoutPositionShowsTheTextAndLeavesTheBar) {
    CreateForm();
    form->ReportProgress(Packed(4, 2), "half");
    EXPECT_EQ(Bar()->value(), 50);
    form->ReportProgress(0, "abc");
    EXPECT_EQ(Caption(), "abc");
    EXPECT_EQ(Bar()->value(), 50);
}

TEST_F(FormTest, ReportWithoutTextEmptiesTheCaptionAndZeroesTheBar) {
    CreateForm();
    form->ReportProgress(Packed(4, 3), "most");
    form->ReportProgress(0, nullptr);
    EXPECT_EQ(Caption(), "");
    EXPECT_EQ(Bar()->value(), 0);
}

TEST_F(FormTest, PercentagesDiscardTheRemainder) {
    CreateForm();
    const std::vector<std::pair<uint32_t, int>> cases = {{1, 33}, {2, 66}, {3, 100}};
    for (const auto& [done, percent] : cases) {
        form->ReportProgress(Packed(3, done), "x");
        EXPECT_EQ(Bar()->value(), percent) << done;
    }
}

TEST_F(FormTest, ZeroTotalGivesZeroWithoutDividing) {
    CreateForm();
    form->ReportProgress(Packed(3, 3), "full");
    form->ReportProgress(Packed(0, 5), "odd");
    EXPECT_EQ(Bar()->value(), 0);
    EXPECT_EQ(Caption(), "odd");
}

TEST_F(FormTest, ReportProcessesPendingEvents) {
    CreateForm();
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    form->ReportProgress(0, "x");
    EXPECT_TRUE(ran);
}

TEST_F(FormTest, SecondCommandDuringARunningOneIsRefused) {
    CreateForm(kNoFadeSettings, ThreeFileExtraction([this](int i) {
                   if (i != 1) return;
                   Button("Button_Info")->click();
                   Button("Button_XtractAll")->click();
                   Button("Button_selectPAK")->click();
               }));
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "out");
    TakeCaptions();
    Button("Button_XtractAll")->click();

    // Three refusals in a row show as one change of the caption; no second "preparing...".
    EXPECT_EQ(TakeCaptions(), (std::vector<std::string>{"", "preparing...", "a", RefusalText, "b", "c",
                                                       "O.K. Successfully extracted 3 files!"}));
    EXPECT_TRUE(script.abouts.empty());
    EXPECT_TRUE(script.opened.empty());
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(FormTest, ClickDeliveredByAProgressReportIsRefused) {
    CreateForm(kNoFadeSettings, ThreeFileExtraction());
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "out");
    // Runs inside the first progress report's event processing.
    QTimer::singleShot(0, [this] { Button("Button_Info")->click(); });
    TakeCaptions();
    Button("Button_XtractAll")->click();
    const std::vector<std::string> seen = TakeCaptions();
    ASSERT_GE(seen.size(), 5u);
    EXPECT_EQ(seen[2], "a");
    EXPECT_EQ(seen[3], RefusalText);
    EXPECT_EQ(seen[4], "b");
    EXPECT_TRUE(script.abouts.empty());
}

TEST_F(FormTest, TogglingXboxDuringARunningCommandActsAtOnce) {
    bool enabledDuringRun = true;
    CreateForm(kNoFadeSettings, ThreeFileExtraction([this, &enabledDuringRun](int i) {
                   if (i != 1) return;
                   Box("CheckBox_XBOX")->click();
                   enabledDuringRun = Button("Button_update1")->isEnabled();
               }));
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "out");
    Button("Button_XtractAll")->click();
    EXPECT_FALSE(enabledDuringRun);
    EXPECT_EQ(Caption(), "O.K. Successfully extracted 3 files!");
}

TEST_F(FormTest, CloseDuringACommandRunsTheCloseStepsOnceAndTheCommandFinishes) {
    CreateForm(kNoFadeSettings, ThreeFileExtraction([this](int i) {
                   if (i == 1) form->close();
                   if (i == 2) form->close();  // absorbed: the tree is not destroyed twice
               }));
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "out");
    TakeCaptions();
    Button("Button_XtractAll")->click();

    EXPECT_EQ(Tree(), nullptr);
    EXPECT_FALSE(form->isVisible());
    const std::vector<std::string> seen = TakeCaptions();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), ExitingText), 1);
    EXPECT_EQ(seen.back(), "O.K. Successfully extracted 3 files!");
    EXPECT_NE(ReadFileText(SettingsPath()).find("pack_FileName=" + temp / "x.pak"), std::string::npos);
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(FormTest, ClosingShowsExitingSavesAndDestroysTheTree) {
    CreateForm();
    TakeCaptions();
    Button("Button_Exit")->click();
    EXPECT_EQ(TakeCaptions(), std::vector<std::string>{ExitingText});
    EXPECT_EQ(Tree(), nullptr);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(fadeOpacities.empty());
    EXPECT_TRUE(fs::exists(SettingsPath()));
}

TEST_F(FormTest, ClosingFadesIn32StepsWhenTheFadeIsOn) {
    CreateForm("[Misc]\nFadeEffectOnExit=1\n");
    form->close();
    std::vector<int> expected;
    for (int opacity = 255; opacity > 0; opacity -= 8) expected.push_back(opacity);
    ASSERT_EQ(expected.size(), 32u);
    EXPECT_EQ(expected.back(), 7);
    EXPECT_EQ(fadeOpacities, expected);
}
