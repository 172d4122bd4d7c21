// Opening an archive, picking the directory, extracting, and the about box.
#include <filesystem>
#include <new>

#include <QHelpEvent>
#include <QToolTip>

#include "engine/format/hash_tag.h"
#include "form_fixture.h"
#include "helpers/index_of_paths.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "ui/ui_texts.h"

namespace fs = std::filesystem;

namespace {

TestFile File(const std::string& name, const std::string& content) { return {name, Bytes(content)}; }

// beta\x.txt, alpha\y.txt, top.txt
TestFolder SmallTree() {
    return TestFolder{"",
                      {{"alpha", {}, {File("y.txt", "why")}}, {"beta", {}, {File("x.txt", "ex")}}},
                      {File("top.txt", "top")}};
}

// Answers the archive dialog with path.
std::function<bool(TOpenDialogState&)> Choose(const std::string& path) {
    return [path](TOpenDialogState& state) {
        state.FileName = path;
        return true;
    };
}

}  // namespace

class OpenExtractTest : public FormTest {
protected:
    std::string archive;

    void SetUp() override {
        archive = temp / "data.pak";
        WriteTestArchive(archive, SmallTree());
    }
};

TEST_F(OpenExtractTest, OpeningShowsTheFileCountAndFillsTheTree) {
    CreateForm();
    script.onOpen = Choose(archive);
    TakeCaptions();
    Button("Button_selectPAK")->click();

    EXPECT_EQ(TakeCaptions(), (std::vector<std::string>{"please wait...",
                                                       "O.K. The file successfully opened, contains 3 files."}));
    EXPECT_EQ(StdStr(Edit("Edit1")->text()), archive);
    EXPECT_EQ(TreeOutline(Tree()), (std::vector<std::string>{"alpha", "  y.txt", "beta", "  x.txt", "top.txt"}));
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(OpenExtractTest, TheArchiveTheProgramIsStartedWithIsPutInTheBoxAndOpened) {
    CreateForm();
    TakeCaptions();
    form->OpenGivenArchive(archive);

    EXPECT_EQ(TakeCaptions(), (std::vector<std::string>{"please wait...",
                                                       "O.K. The file successfully opened, contains 3 files."}));
    EXPECT_EQ(StdStr(Edit("Edit1")->text()), archive);
    EXPECT_EQ(TreeOutline(Tree()), (std::vector<std::string>{"alpha", "  y.txt", "beta", "  x.txt", "top.txt"}));
    EXPECT_TRUE(script.opened.empty());
}

TEST_F(OpenExtractTest, OpeningReadsTheArchivesIndexThroughTheEngineAndFillsTheTreeFromIt) {
    struct {
        int reads = 0, extractions = 0;
        bool xbox = false;
        std::string path;
    } seen;
    TEngineCalls engine = EngineOperations();
    engine.ReadArchiveIndex = [&seen](bool xbox, const std::string& path, TArchiveIndex& index, TNotices*) {
        ++seen.reads;
        seen.xbox = xbox;
        seen.path = path;
        index = IndexOfPaths({"one\\a.txt", "b.txt"});
        return true;
    };
    engine.ExtractArchive = [&seen](const TExtractRequest&) {
        ++seen.extractions;
        return TExtractResult{};
    };
    CreateForm(kNoFadeSettings, engine);
    Box("CheckBox_XBOX")->setChecked(true);
    form->OpenGivenArchive(archive);
    EXPECT_EQ(seen.reads, 1);
    EXPECT_EQ(seen.extractions, 0) << "no listing is made to be parsed back";
    EXPECT_TRUE(seen.xbox);
    EXPECT_EQ(seen.path, archive);
    EXPECT_EQ(Caption(), "O.K. The file successfully opened, contains 2 files.");
    EXPECT_EQ(TreeOutline(Tree()), (std::vector<std::string>{"one", "  a.txt", "b.txt"}));
    EXPECT_EQ(Tree()->ArchivePathOf(Tree()->topLevelItem(0)->child(0)), "one\\a.txt");
}

TEST_F(OpenExtractTest, TheToolTipOfAFileGivesItsSizesAndTagAndOfAFolderItsTotals) {
    CreateForm();
    form->OpenGivenArchive(archive);
    const std::vector<ProbedEntry> entries = ProbeEntries(archive);
    ASSERT_EQ(entries.size(), 3u);  // alpha\y.txt, beta\x.txt, top.txt
    const auto tipOf = [&](QTreeWidgetItem* item) {
        Tree()->scrollToItem(item);
        const QPoint at = Tree()->visualItemRect(item).center();
        QHelpEvent event(QEvent::ToolTip, at, Tree()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(Tree()->viewport(), &event);
        return StdStr(QToolTip::text());
    };
    QTreeWidgetItem* alpha = Tree()->topLevelItem(0);
    alpha->setExpanded(true);
    EXPECT_EQ(tipOf(alpha->child(0)), "Size: 3 bytes\nPacked: " + std::to_string(entries[0].packedSize) +
                                          " bytes\nHash tag: " + TagToText(PathHashTag("alpha\\y.txt")));
    EXPECT_EQ(tipOf(Tree()->topLevelItem(2)), "Size: 3 bytes\nPacked: " + std::to_string(entries[2].packedSize) +
                                                  " bytes\nHash tag: " + TagToText(PathHashTag("top.txt")));
    EXPECT_EQ(tipOf(alpha), "1 file\nSize: 3 bytes\nPacked: " + std::to_string(entries[0].packedSize) + " bytes");
}

TEST_F(OpenExtractTest, ArchiveDialogCarriesTheFilterTheDetailsViewAndTheArchivePath) {
    CreateForm();
    SetText("Edit1", temp / "typed.pak");
    Button("Button_selectPAK")->click();
    ASSERT_EQ(script.opened.size(), 1u);
    EXPECT_EQ(script.opened[0].Filter, "Veldane .PAK file (*.PAK)|*.PAK|All files (*.*)|*.*");
    EXPECT_TRUE(script.opened[0].DetailsView);
    EXPECT_EQ(script.opened[0].Title, "");
    EXPECT_EQ(script.opened[0].FileName, temp / "typed.pak");
}

TEST_F(OpenExtractTest, AnEmptyArchiveBoxLeavesTheDialogWithItsPreviousName) {
    CreateForm();
    script.onOpen = Choose(archive);
    Button("Button_selectPAK")->click();
    SetText("Edit1", "");
    script.onOpen = [](TOpenDialogState&) { return false; };
    Button("Button_selectPAK")->click();
    ASSERT_EQ(script.opened.size(), 2u);
    EXPECT_EQ(script.opened[1].FileName, archive);
}

TEST_F(OpenExtractTest, CancellingTheDialogChangesNothing) {
    CreateForm();
    script.onOpen = Choose(archive);
    Button("Button_selectPAK")->click();
    const std::string before = Caption();
    script.onOpen = [](TOpenDialogState&) { return false; };
    Button("Button_selectPAK")->click();
    EXPECT_EQ(Caption(), before);
    EXPECT_EQ(Tree()->topLevelItemCount(), 3);
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(OpenExtractTest, FailedOpenLeavesTheTreeAsItWas) {
    CreateForm();
    script.onOpen = Choose(archive);
    Button("Button_selectPAK")->click();
    const std::vector<std::string> before = TreeOutline(Tree());

    WriteFile(temp / "not-an-archive.pak", "this is plain text, not an archive");
    script.onOpen = Choose(temp / "not-an-archive.pak");
    Button("Button_selectPAK")->click();
    EXPECT_EQ(Caption(), "Error :-(");
    EXPECT_EQ(TreeOutline(Tree()), before);
    EXPECT_FALSE(form->BusyFlag);
}

struct ByteOrderCase {
    const char* what;
    const char* archive;  // below the test's folder
    bool boxBefore;
    std::string caption;
    bool boxAfter;
};

void PrintTo(const ByteOrderCase& c, std::ostream* out) { *out << c.what; }

class ByteOrderOnOpen : public OpenExtractTest, public ::testing::WithParamInterface<ByteOrderCase> {};

// An archive that reads only in the other byte order sets the XBOX box itself and says so;
// one that reads in both (an empty one) is opened as the box says, and one that reads in
// neither fails and leaves the box alone.
TEST_P(ByteOrderOnOpen, TheBoxFollowsTheOnlyOrderAnArchiveReadsInAndNeverAGuess) {
    const ByteOrderCase& c = GetParam();
    WriteTestArchive(temp / "xbox.pak", SmallTree(), true);
    WriteTestArchive(temp / "pc.pak", SmallTree(), false);
    WriteFile(temp / "text.pak", "this is plain text, not an archive");
    CreateForm();
    Box("CheckBox_XBOX")->setChecked(c.boxBefore);
    script.onOpen = Choose(temp / c.archive);
    Button("Button_selectPAK")->click();
    EXPECT_EQ(Caption(), c.caption);
    EXPECT_EQ(Box("CheckBox_XBOX")->isChecked(), c.boxAfter);
    // Replacing in place follows the box, as a click on it would.
    EXPECT_EQ(Button("Button_update1")->isEnabled(), !c.boxAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ByteOrderOnOpen,
    ::testing::Values(
        ByteOrderCase{"Xbox archive, box cleared", "xbox.pak", false,
                      "O.K. The file successfully opened, contains 3 files. It reads only as an Xbox 360 archive: "
                      "XBOX checked.",
                      true},
        ByteOrderCase{"PC archive, box checked", "pc.pak", true,
                      "O.K. The file successfully opened, contains 3 files. It reads only as a PC archive: XBOX "
                      "cleared.",
                      false},
        ByteOrderCase{"Xbox archive, box checked", "xbox.pak", true,
                      "O.K. The file successfully opened, contains 3 files.", true},
        ByteOrderCase{"reads neither way", "text.pak", true, "Error :-(", true}),
    [](const ::testing::TestParamInfo<ByteOrderCase>& info) { return "Case" + std::to_string(info.index); });

TEST_F(OpenExtractTest, AnArchiveThatReadsInBothOrdersOpensInTheBoxsOrderAndLeavesTheBoxAlone) {
    TEngineCalls engine = EngineOperations();
    engine.ReadArchiveIndex = [](bool bigEndian, const std::string&, TArchiveIndex& index, TNotices*) {
        index = IndexOfPaths({bigEndian ? "as-xbox.txt" : "as-pc.txt"});
        return true;
    };
    CreateForm(kNoFadeSettings, engine);
    for (const bool xbox : {true, false}) {
        SCOPED_TRACE(xbox);
        Box("CheckBox_XBOX")->setChecked(xbox);
        form->OpenGivenArchive(archive);
        EXPECT_EQ(Caption(), "O.K. The file successfully opened, contains 1 files.");
        EXPECT_EQ(Box("CheckBox_XBOX")->isChecked(), xbox);
        EXPECT_EQ(TreeOutline(Tree()), std::vector<std::string>{xbox ? "as-xbox.txt" : "as-pc.txt"});
    }
}

TEST_F(OpenExtractTest, AFailedOpenShowsWhatTheBoxsOrderToldNotTheOthers) {
    TEngineCalls engine = EngineOperations();
    engine.ReadArchiveIndex = [](bool bigEndian, const std::string& path, TArchiveIndex&, TNotices* notices) {
        Notify(notices, path, bigEndian ? "told in the Xbox order" : "told in the PC order");
        return false;
    };
    CreateForm(kNoFadeSettings, engine);
    script.onOpen = Choose(archive);
    Button("Button_selectPAK")->click();
    EXPECT_EQ(Caption(), "Error :-(");
    ASSERT_EQ(script.errors.size(), 1u);
    EXPECT_NE(script.errors[0].text.find("told in the PC order"), std::string::npos) << script.errors[0].text;
    EXPECT_EQ(script.errors[0].text.find("Xbox"), std::string::npos) << script.errors[0].text;
}

TEST_F(OpenExtractTest, ThousandsInTheFileCountAreGrouped) {
    TestFolder many{"", {}, {}};
    for (int i = 0; i < 1234; ++i) many.files.push_back(File("f" + std::to_string(i), ""));
    WriteTestArchive(temp / "many.pak", many);
    CreateForm();
    script.onOpen = Choose(temp / "many.pak");
    Button("Button_selectPAK")->click();
    EXPECT_EQ(Caption(), "O.K. The file successfully opened, contains 1,234 files.");
    EXPECT_EQ(Tree()->topLevelItemCount(), 1234);
}

TEST_F(OpenExtractTest, ExtractionShowsEachStepAndEndsWithTheCount) {
    CreateForm();
    SetText("Edit1", archive);
    SetText("Edit2", temp / "out/deeper");
    TakeCaptions();
    Button("Button_XtractAll")->click();

    EXPECT_EQ(TakeCaptions(), (std::vector<std::string>{"", "preparing...", "creating sub-directory structure...",
                                                       "alpha\\y.txt", "beta\\x.txt", "top.txt",
                                                       "O.K. Successfully extracted 3 files!"}));
    EXPECT_EQ(ReadFileText(temp / "out/deeper/alpha/y.txt"), "why");
    EXPECT_EQ(ReadFileText(temp / "out/deeper/top.txt"), "top");
    EXPECT_EQ(Bar()->value(), 100);
    EXPECT_TRUE(script.confirmed.empty());
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(OpenExtractTest, HashBoxPutsTagsIntoExtractedNames) {
    CreateForm();
    SetText("Edit1", archive);
    SetText("Edit2", temp / "out");
    Box("CheckBox_hash")->setChecked(true);
    Button("Button_XtractAll")->click();
    EXPECT_EQ(Caption(), "O.K. Successfully extracted 3 files!");
    EXPECT_FALSE(fs::exists(temp / "out/top.txt"));
    size_t tagged = 0;
    for (const auto& entry : fs::directory_iterator(temp / "out"))
        if (entry.path().filename().string().find(".[") != std::string::npos) ++tagged;
    EXPECT_EQ(tagged, 1u);  // top.[...].txt beside the two folders
}

TEST_F(OpenExtractTest, NonEmptyTargetAsksFirstAndNoLeavesItUntouched) {
    CreateForm();
    WriteFile(temp / "out/.hidden", "keep");
    SetText("Edit1", archive);
    SetText("Edit2", temp / "out");
    Button("Button_XtractAll")->click();

    ASSERT_EQ(script.confirmed.size(), 1u);
    EXPECT_EQ(script.confirmed[0], "Warning!\rThe target directory not empty!\rDo you really want to extract here?");
    EXPECT_EQ(Caption(), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(temp / "out"), fs::directory_iterator()), 1);
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(OpenExtractTest, NonEmptyTargetAnsweredYesIsExtractedInto) {
    CreateForm();
    WriteFile(temp / "out/.hidden", "keep");
    script.onConfirm = [](const std::string&) { return true; };
    SetText("Edit1", archive);
    SetText("Edit2", temp / "out");
    Button("Button_XtractAll")->click();
    EXPECT_EQ(Caption(), "O.K. Successfully extracted 3 files!");
    EXPECT_EQ(ReadFileText(temp / "out/.hidden"), "keep");
}

TEST_F(OpenExtractTest, ExtractWithAnEmptyBoxCallsNothing) {
    int calls = 0;
    TEngineCalls engine = EngineOperations();
    engine.ExtractArchive = [&calls](const TExtractRequest&) {
        ++calls;
        return TExtractResult{true, 0, 0};
    };
    CreateForm(kNoFadeSettings, engine);
    SetText("Edit2", temp / "out");
    Button("Button_XtractAll")->click();
    EXPECT_EQ(Caption(), "");
    SetText("Edit1", archive);
    SetText("Edit2", "");
    Button("Button_XtractAll")->click();
    EXPECT_EQ(Caption(), "");
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(script.confirmed.empty());
    EXPECT_FALSE(fs::exists(temp / "out"));
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(OpenExtractTest, ExtractionPassesTheBoxesAndTheLocSetting) {
    struct {
        bool xbox, hash, loc;
        std::string archive, target;
        TTargetFolder folder;
    } seen{};
    TEngineCalls engine = EngineOperations();
    engine.ExtractArchive = [&seen](const TExtractRequest& request) {
        seen = {request.bigEndian, request.hashTags, request.convertLoc, request.archivePath, request.targetDir,
                request.targetFolder};
        return TExtractResult{request.progress != nullptr, 2, 2};
    };
    CreateForm("[Other]\nAutoConvertLOCfiles=0\n[Misc]\nFadeEffectOnExit=0\n", engine);
    SetText("Edit1", archive);
    SetText("Edit2", temp / "out");
    Box("CheckBox_XBOX")->setChecked(true);
    Box("CheckBox_hash")->setChecked(true);
    Button("Button_XtractAll")->click();
    EXPECT_TRUE(seen.xbox);
    EXPECT_TRUE(seen.hash);
    EXPECT_FALSE(seen.loc);
    EXPECT_EQ(seen.archive, archive);
    EXPECT_EQ(seen.target, temp / "out");
    EXPECT_EQ(seen.folder, TTargetFolder::CreateWithParents) << "the engine creates the target once the archive reads";
    EXPECT_EQ(Caption(), "O.K. Successfully extracted 2 files!");
}

TEST_F(OpenExtractTest, FailedExtractionSaysError) {
    CreateForm();
    SetText("Edit1", temp / "missing.pak");
    SetText("Edit2", temp / "out");
    Button("Button_XtractAll")->click();
    EXPECT_EQ(Caption(), "Error :-(");
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(OpenExtractTest, ExtractionOfAMissingArchiveSaysWhyAndCreatesNoFolder) {
    CreateForm();
    SetText("Edit1", temp / "missing.pak");
    SetText("Edit2", temp / "out/deeper");
    Button("Button_XtractAll")->click();
    ASSERT_EQ(script.errors.size(), 1u);
    EXPECT_EQ(script.errors[0].text,
              "cannot open the archive \"" + temp / "missing.pak" + "\": No such file or directory");
    EXPECT_EQ(script.errors[0].captionWhenShown, "Error :-(");
    EXPECT_FALSE(fs::exists(temp / "out"));
}

TEST_F(OpenExtractTest, AFileInThePlaceOfTheTargetIsNamedWithWhatCouldNotBeCreated) {
    WriteFile(temp / "out", "a file, not a folder");
    CreateForm();
    script.onConfirm = [](const std::string&) { return true; };
    SetText("Edit1", archive);
    SetText("Edit2", temp / "out/deeper");
    Button("Button_XtractAll")->click();
    EXPECT_EQ(Caption(), "Error :-(");
    ASSERT_EQ(script.errors.size(), 1u);
    EXPECT_EQ(script.errors[0].text,
              "cannot create the folder \"" + temp / "out" + "\": something other than a folder has that name");
}

TEST_F(OpenExtractTest, RaisedErrorIsShownInABoxAndTheNextCommandIsAccepted) {
    TArrayOfByte bytes = ReadFileBytes(archive);
    bytes.resize(bytes.size() - 2);  // the last stream now runs past the end of the file
    WriteFile(archive, bytes);
    CreateForm();
    SetText("Edit1", archive);
    SetText("Edit2", temp / "out");
    Button("Button_XtractAll")->click();

    ASSERT_EQ(script.errors.size(), 1u);
    EXPECT_EQ(script.errors[0].title, TitleLine);
    EXPECT_EQ(script.errors[0].text, "Cannot read file \"" + archive + "\": Read beyond end of file");
    EXPECT_FALSE(script.errors[0].busyWhenShown);
    EXPECT_FALSE(form->BusyFlag);
    // The outcome ends the command: no file's path is left standing as if it still ran.
    EXPECT_EQ(Caption(), ErrorText);

    Button("Button_Info")->click();
    EXPECT_EQ(script.abouts.size(), 1u);
}

TEST_F(OpenExtractTest, RunningOutOfMemoryIsShownInWordsNotAsTheAllocatorsName) {
    TEngineCalls engine = EngineOperations();
    engine.ExtractArchive = [](const TExtractRequest&) -> TExtractResult { throw std::bad_alloc(); };
    CreateForm(kNoFadeSettings, engine);
    SetText("Edit1", archive);
    SetText("Edit2", temp / "out");
    Button("Button_XtractAll")->click();

    ASSERT_EQ(script.errors.size(), 1u);
    EXPECT_EQ(script.errors[0].title, TitleLine);
    EXPECT_EQ(script.errors[0].text, "Not enough memory to finish the command");
    EXPECT_EQ(Caption(), ErrorText);
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(OpenExtractTest, AboutBoxShowsItsFiveLinesUnderItsTitle) {
    CreateForm();
    form->FormDblClick();
    bool busyWhileShown = false;
    script.onAbout = [this, &busyWhileShown] { busyWhileShown = form->BusyFlag; };
    Button("Button_Info")->click();
    ASSERT_EQ(script.abouts.size(), 1u);
    EXPECT_EQ(script.abouts[0].first, " Yet another tool from The Zorvel...");
    EXPECT_EQ(script.abouts[0].second,
              "Veldane .PAK Maker / Extractor / Updater [v0.55]\r\n\r\n"
              "This is a test version, with lots of bugs, errors, etc, so use it on your risk!\r\n\r\n"
              "ALWAYS make a backup copy of your files, before overwriting them...");
    EXPECT_EQ(Caption(), TitleLine);
    EXPECT_TRUE(busyWhileShown);
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(OpenExtractTest, DirectoryDialogPreselectsAnExistingDirectoryOnly) {
    CreateForm();
    fs::create_directories(temp / "there");
    SetText("Edit2", temp / "there");
    script.onFolder = [this](const std::string&, const std::string&, std::string& chosen) {
        chosen = temp / "chosen";
        return true;
    };
    Button("Button_selDIR")->click();
    EXPECT_EQ(StdStr(Edit("Edit2")->text()), temp / "chosen");

    script.onFolder = [](const std::string&, const std::string&, std::string&) { return false; };
    Button("Button_selDIR")->click();  // "chosen" does not exist
    ASSERT_EQ(script.folders.size(), 2u);
    EXPECT_EQ(script.folders[0].first, "Select the Target/Source directory...");
    EXPECT_EQ(script.folders[0].second, temp / "there");
    EXPECT_EQ(script.folders[1].second, "");
    EXPECT_EQ(StdStr(Edit("Edit2")->text()), temp / "chosen");
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(OpenExtractTest, XboxBoxDisablesBothReplaceButtonsAtOnce) {
    CreateForm();
    QPushButton* one = Button("Button_update1");
    QPushButton* many = Button("Button_updateX");
    std::vector<std::pair<bool, bool>> seenOnToggle;
    QObject::connect(Box("CheckBox_XBOX"), &QCheckBox::toggled,
                     [&] { seenOnToggle.emplace_back(one->isEnabled(), many->isEnabled()); });
    EXPECT_TRUE(one->isEnabled());
    EXPECT_TRUE(many->isEnabled());
    Box("CheckBox_XBOX")->click();
    EXPECT_FALSE(one->isEnabled());
    EXPECT_FALSE(many->isEnabled());
    Box("CheckBox_XBOX")->click();
    EXPECT_TRUE(one->isEnabled());
    EXPECT_TRUE(many->isEnabled());
    EXPECT_EQ(seenOnToggle, (std::vector<std::pair<bool, bool>>{{false, false}, {true, true}}));
}
