// The progress routine, the busy guard, and closing while a command runs.
#include <QTest>
#include <QTimer>
#include <zlib.h>
#include <filesystem>

#include "form_fixture.h"
#include "engine/outcome_texts.h"
#include "helpers/archive_writer.h"
#include "helpers/random_bytes.h"
#include "support/zlib_adapter.h"
#include "ui/ui_texts.h"

namespace fs = std::filesystem;

namespace {

// An extraction that reports three files and succeeds; run is called between the reports.
TEngineCalls ThreeFileExtraction(std::function<void(int)> between = [](int) {}) {
    TEngineCalls engine = EngineOperations();
    engine.ExtractArchive = [between](const TExtractRequest& request) {
        const char* paths[] = {"a", "b", "c"};
        for (int64_t i = 1; i <= 3; ++i) {
            Report(request.progress, {i, 3, paths[i - 1]});
            between(static_cast<int>(i));
        }
        return TExtractResult{true, 3, 3};
    };
    return engine;
}

}  // namespace

TEST_F(FormTest, ReportWithoutPositionShowsTheTextAndLeavesTheBar) {
    CreateForm();
    form->ReportProgress({2, 4, "half"});
    EXPECT_EQ(Bar()->value(), 50);
    form->ReportProgress({0, 0, "abc"});
    EXPECT_EQ(Caption(), "abc");
    EXPECT_EQ(Bar()->value(), 50);
}

TEST_F(FormTest, ReportWithoutTextEmptiesTheCaptionAndZeroesTheBar) {
    CreateForm();
    form->ReportProgress({3, 4, "most"});
    form->ReportProgress({0, 0, nullptr});
    EXPECT_EQ(Caption(), "");
    EXPECT_EQ(Bar()->value(), 0);
}

TEST_F(FormTest, PercentagesDiscardTheRemainder) {
    CreateForm();
    const std::vector<std::pair<int64_t, int>> cases = {{1, 33}, {2, 66}, {3, 100}};
    for (const auto& [done, percent] : cases) {
        form->ReportProgress({done, 3, "x"});
        EXPECT_EQ(Bar()->value(), percent) << done;
    }
}

TEST_F(FormTest, ZeroTotalGivesZeroWithoutDividing) {
    CreateForm();
    form->ReportProgress({3, 3, "full"});
    form->ReportProgress({5, 0, "odd"});
    EXPECT_EQ(Bar()->value(), 0);
    EXPECT_EQ(Caption(), "odd");
}

TEST_F(FormTest, ReportProcessesPendingEvents) {
    CreateForm();
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    form->ReportProgress({0, 0, "x"});
    EXPECT_TRUE(ran);
}

TEST_F(FormTest, SecondCommandDuringARunningOneIsRefusedAndTheRefusalStaysReadable) {
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
    // The next reports come within the second the refusal stays; the outcome ends it.
    EXPECT_EQ(TakeCaptions(), (std::vector<std::string>{"", "preparing...", "a", RefusalText,
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
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen[2], "a");
    EXPECT_EQ(seen[3], RefusalText);
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

TEST_F(FormTest, CloseDuringACommandAnsweredNoKeepsTheWindowAndTheCommandFinishes) {
    CreateForm(kNoFadeSettings, ThreeFileExtraction([this](int i) {
                   if (i == 1) form->close();
               }));
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "out");
    Button("Button_XtractAll")->click();

    EXPECT_EQ(script.confirmed, std::vector<std::string>{StopQuestion});
    EXPECT_TRUE(form->isVisible());
    EXPECT_NE(Tree(), nullptr);
    EXPECT_EQ(Caption(), "O.K. Successfully extracted 3 files!");
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(FormTest, CloseDuringACommandAnsweredYesStopsItThenRunsTheCloseStepsOnce) {
    script.onConfirm = [](const std::string&) { return true; };
    CreateForm(kNoFadeSettings, ThreeFileExtraction([this](int i) {
                   if (i == 1) form->close();
                   if (i == 2) form->close();  // never reached: the second report stops the command
               }));
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "out");
    TakeCaptions();
    Button("Button_XtractAll")->click();

    EXPECT_EQ(Tree(), nullptr);
    EXPECT_FALSE(form->isVisible());
    const std::vector<std::string> seen = TakeCaptions();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), ExitingText), 1);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[seen.size() - 2], StoppedExtractionText(2));
    EXPECT_NE(ReadFileText(SettingsPath()).find("pack_FileName=" + temp / "x.pak"), std::string::npos);
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(FormTest, EscapeAsksToStopAndYesEndsTheCommandAtItsNextReport) {
    script.onConfirm = [](const std::string&) { return true; };
    CreateForm(kNoFadeSettings, ThreeFileExtraction([this](int i) {
                   if (i != 1) return;
                   QTest::keyClick(Edit("Edit1"), Qt::Key_Escape);
               }));
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "out");
    Button("Button_XtractAll")->click();
    EXPECT_EQ(script.confirmed, std::vector<std::string>{StopQuestion});
    // The second file's report comes after the question and ends the command.
    EXPECT_EQ(Caption(), StoppedExtractionText(2));
    EXPECT_FALSE(form->BusyFlag);
    EXPECT_TRUE(form->isVisible());
}

// The count a stopped extraction names is the one the engine gave with its last report, not
// how many reports the window heard.
TEST_F(FormTest, AStoppedExtractionNamesTheCountTheEngineLastReported) {
    script.onConfirm = [](const std::string&) { return true; };
    TEngineCalls engine = EngineOperations();
    engine.ExtractArchive = [this](const TExtractRequest& request) {
        Report(request.progress, {6, 10, "first six"});
        QTest::keyClick(Edit("Edit1"), Qt::Key_Escape);
        Report(request.progress, {7, 10, "seventh"});
        return TExtractResult{true, 10, 10};
    };
    CreateForm(kNoFadeSettings, engine);
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "out");
    Button("Button_XtractAll")->click();
    EXPECT_EQ(Caption(), StoppedExtractionText(7));
}

TEST_F(FormTest, TheBarFollowsTheTrueCountsOfAMillionItems) {
    CreateForm();
    const std::vector<std::pair<int64_t, int>> cases = {{1, 0}, {700000, 70}, {999999, 99}, {1000000, 100}};
    for (const auto& [done, percent] : cases) {
        form->StatusLine().BeginCommand();  // each report is drawn at once
        form->ReportProgress({done, 1000000, "x"});
        EXPECT_EQ(Bar()->value(), percent) << done;
    }
}

TEST_F(FormTest, EscapeWithoutACommandAsksNothing) {
    CreateForm();
    QTest::keyClick(Edit("Edit1"), Qt::Key_Escape);
    EXPECT_TRUE(script.confirmed.empty());
}

TEST_F(FormTest, ReportsCloserThanATenthOfASecondShowOnlyTheFirstUntilTheOutcome) {
    clockStep = std::chrono::milliseconds(10);
    CreateForm(kNoFadeSettings, ThreeFileExtraction());
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "out");
    TakeCaptions();
    Button("Button_XtractAll")->click();
    EXPECT_EQ(TakeCaptions(), (std::vector<std::string>{"", "preparing...", "a",
                                                       "O.K. Successfully extracted 3 files!"}));
}

TEST_F(FormTest, EachCommandStartsWithAnEmptyBar) {
    CreateForm(kNoFadeSettings, ThreeFileExtraction([this](int i) {
                   if (i == 1) {
                       EXPECT_EQ(Bar()->value(), 33);
                   }
               }));
    form->ReportProgress({3, 4, "an earlier command"});
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "out");
    int valueAtStart = -1;
    script.onConfirm = [this, &valueAtStart](const std::string&) {
        valueAtStart = Bar()->value();
        return true;
    };
    WriteFile(temp / "out/existing", "x");  // the question comes after the command began
    Button("Button_XtractAll")->click();
    EXPECT_EQ(valueAtStart, 0);
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

// ---- a window that keeps taking events ---------------------------------------------------

namespace {

// A zlib stream that stores its bytes as they are: quick to make, however large.
TArrayOfByte StoredStream(const TArrayOfByte& content) {
    uLongf size = compressBound(static_cast<uLong>(content.size()));
    TArrayOfByte stream(size);
    compress2(stream.data(), &size, content.data(), static_cast<uLong>(content.size()), Z_NO_COMPRESSION);
    stream.resize(size);
    return stream;
}

// Ticks every few milliseconds while a command runs, and keeps the longest time that passed
// without one: the time the window took no events.
class TEventWatch {
public:
    // inStep tells whether the step of interest is under way (a file that exists only then).
    explicit TEventWatch(std::function<bool()> inStep = [] { return true; }) : inStep_(std::move(inStep)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        last_ = std::chrono::steady_clock::now();
        timer_.start();
    }
    std::chrono::milliseconds LongestSilence() {
        Tick();
        timer_.stop();
        return longest_;
    }
    // Ticks seen while the step was under way.
    int TicksInStep() const { return ticksInStep_; }

private:
    void Tick() {
        const auto now = std::chrono::steady_clock::now();
        longest_ = std::max(longest_, std::chrono::duration_cast<std::chrono::milliseconds>(now - last_));
        last_ = now;
        if (inStep_()) ++ticksInStep_;
    }

    std::function<bool()> inStep_;
    QTimer timer_;
    std::chrono::steady_clock::time_point last_;
    std::chrono::milliseconds longest_{0};
    int ticksInStep_ = 0;
};

// Far above the 100 ms the engine keeps to, far below the seconds the work takes here.
constexpr std::chrono::milliseconds kLongestAllowedSilence{600};

}  // namespace

TEST_F(FormTest, TheWindowTakesEventsWhileOneLargeFileIsCompressed) {
    realClock = true;
    CreateForm();
    WriteFile(temp / "src/large.bin", RandomBytes(40 << 20, 3));  // seconds of level-9 compression
    SetText("Edit1", temp / "built.pak");
    SetText("Edit2", temp / "src");
    TEventWatch watch;
    Button("Button_MakeArchive")->click();
    EXPECT_LT(watch.LongestSilence(), kLongestAllowedSilence);
    EXPECT_EQ(Caption(), "O.K. Packed: 0 dirs and 1 files!");
}

TEST_F(FormTest, TheWindowTakesEventsAndShowsThePhasesWhileReplaceXWrites) {
    realClock = true;
    // A small first entry and a large one behind it, stored without compression so that the
    // archive is quick to make: growing the first moves the whole tail, which the journal
    // saves first and the disk then takes.
    const TArrayOfByte large = RandomBytes(160 << 20, 2);
    TArrayOfByte directory;
    PutInt(directory, false, 0);
    PutInt(directory, false, 2);
    const TArrayOfByte first = CompressBytes("first", 5);
    const TArrayOfByte tail = StoredStream(large);
    PutName(directory, false, "a-first.txt");
    for (const int32_t field : {0, BufferLength(first), 5}) PutInt(directory, false, field);
    PutName(directory, false, "tail.bin");
    for (const int32_t field : {BufferLength(first), BufferLength(tail), BufferLength(large)})
        PutInt(directory, false, field);
    TArrayOfByte data = first;
    data.insert(data.end(), tail.begin(), tail.end());
    WriteFile(temp / "x.pak", ArchiveBytes(directory, data, false));
    WriteFile(temp / "new/a-first.txt", RandomBytes(50000, 99));
    CreateForm();
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "new");
    TakeCaptions();
    // The journal lies beside the archive exactly while the archive is being written.
    TEventWatch watch([this] { return fs::exists(temp / "x.pak.vpak-journal"); });
    Button("Button_updateX")->click();
    EXPECT_LT(watch.LongestSilence(), kLongestAllowedSilence);
    EXPECT_GE(watch.TicksInStep(), 1) << "no event while the archive was written";
    const std::vector<std::string> seen = TakeCaptions();
    std::string shown;
    for (const std::string& caption : seen) shown += "[" + caption + "]";
    const auto isWritePhase = [](const std::string& caption) {
        return caption == "saving what the update changes..." || caption == "moving the archive's contents..." ||
               caption == "writing the new contents and the directory...";
    };
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), isWritePhase)) << shown;
    EXPECT_EQ(seen.back(), "O.K. Successfully updated 1 files!");
}
