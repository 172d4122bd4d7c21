// Make .PAK, Replace1 and ReplaceX from the window.
#include <filesystem>

#include "engine/reading/archive_reader.h"
#include "engine/updating/archive_update.h"
#include "engine/format/hash_tag.h"
#include "engine/updating/internal/archive_update.h"
#include "form_fixture.h"
#include "helpers/archive_writer.h"
#include "ui/ui_texts.h"

namespace fs = std::filesystem;

namespace {

TestFile File(const std::string& name, const std::string& content) { return {name, Bytes(content)}; }

// scripts\intro.txt, scripts\outro.txt, readme.txt
TestFolder ScriptTree() {
    return TestFolder{"",
                      {{"scripts", {}, {File("intro.txt", "old intro"), File("outro.txt", "old outro")}}},
                      {File("readme.txt", "read me")}};
}

// Extracts archive below dir and returns the text of one extracted file.
std::string ExtractedText(const std::string& archive, const std::string& dir, const std::string& file) {
    fs::create_directories(dir);
    EXPECT_TRUE(ExtractArchive({.archivePath = archive, .targetDir = dir, .convertLoc = false}).ok);
    return ReadFileText(dir + "/" + file);
}

std::string TaggedName(const std::string& archivePath, const std::string& stem, const std::string& ext) {
    return stem + ".[" + TagToText(PathHashTag(archivePath)) + "]" + ext;
}

// What the build and update operations were given, and what they answer.
struct TEngineLog {
    int makes = 0, replaceOnes = 0, replaceDirs = 0;
    bool makeXbox = false, makeLoc = false, oneLoc = true, oneByTag = false, dirLoc = true, dirHash = false;
    std::string makeSource, makeArchive, oneArchive, oneFile, oneKey, dirArchive, dirSource;
    int32_t replacedToReport = 0;
    bool result = true;
    TNotices noticesToTell;
};

TEngineCalls LoggingEngine(TEngineLog& log) {
    TEngineCalls engine = EngineOperations();
    engine.MakeArchive = [&log](const TMakeRequest& request) {
        ++log.makes;
        log.makeXbox = request.bigEndian;
        log.makeSource = request.sourceDir;
        log.makeArchive = request.archivePath;
        log.makeLoc = request.convertLoc;
        PassOn(log.noticesToTell, request.notices);
        return TMakeResult{log.result, 2, 1234567};
    };
    engine.ReplaceOneFile = [&log](const TReplaceFileRequest& request) {
        ++log.replaceOnes;
        log.oneArchive = request.archivePath;
        log.oneFile = request.filePath;
        log.oneKey = request.key;
        log.oneLoc = request.convertLoc;
        log.oneByTag = request.matchByTag;
        return TReplaceResult{log.result, log.result ? 1 : 0};
    };
    engine.ReplaceFromDirectory = [&log](const TReplaceDirRequest& request) {
        ++log.replaceDirs;
        log.dirArchive = request.archivePath;
        log.dirSource = request.sourceDir;
        log.dirHash = request.matchByTag;
        log.dirLoc = request.convertLoc;
        return TReplaceResult{log.result, log.replacedToReport};
    };
    return engine;
}

const std::string kLocOffSettings = "[Other]\nAutoConvertLOCfiles=0\n[Misc]\nFadeEffectOnExit=0\n";

}  // namespace

// ---- Make .PAK

TEST_F(FormTest, MakePakOverAnExistingFileAnsweredNoLeavesItUntouched) {
    TEngineLog log;
    CreateForm(kNoFadeSettings, LoggingEngine(log));
    WriteFile(temp / "exists.pak", "precious");
    fs::create_directories(temp / "src");
    SetText("Edit1", temp / "exists.pak");
    SetText("Edit2", temp / "src");
    Button("Button_MakeArchive")->click();

    ASSERT_EQ(script.confirmed.size(), 1u);
    EXPECT_EQ(script.confirmed[0], "Warning!\rThe given file already exists!\rDo you really want to overwrite it?");
    EXPECT_EQ(Caption(), "");
    EXPECT_EQ(ReadFileText(temp / "exists.pak"), "precious");
    EXPECT_EQ(log.makes, 0);
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(FormTest, MakePakOfATreeReportsItsFoldersAndFilesWithGroupedCounts) {
    CreateForm();
    for (int i = 0; i < 1234; ++i) WriteFile(temp / ("src/d" + std::to_string(i % 5) + "/f" + std::to_string(i)), "x");
    SetText("Edit1", temp / "built.pak");
    SetText("Edit2", temp / "src");
    TakeCaptions();
    Button("Button_MakeArchive")->click();

    EXPECT_EQ(Caption(), "O.K. Packed: 5 dirs and 1,234 files!");
    const std::vector<std::string> seen = TakeCaptions();
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), "");
    EXPECT_NE(std::find(seen.begin(), seen.end(), PreparingText), seen.end());
    EXPECT_EQ(Bar()->value(), 100);
    EXPECT_TRUE(script.confirmed.empty());
    EXPECT_FALSE(form->BusyFlag);

    // The archive reads back with every file.
    script.onOpen = [this](TOpenDialogState& dialog) {
        dialog.FileName = temp / "built.pak";
        return true;
    };
    Button("Button_selectPAK")->click();
    EXPECT_EQ(Caption(), "O.K. The file successfully opened, contains 1,234 files.");
}

TEST_F(FormTest, MakePakOverwritesWhenAnsweredYesAndTheTreeShowsTheNewArchive) {
    WriteTestArchive(temp / "a.pak", ScriptTree());
    CreateForm();
    script.onOpen = [this](TOpenDialogState& dialog) {
        dialog.FileName = temp / "a.pak";
        return true;
    };
    Button("Button_selectPAK")->click();
    ASSERT_NE(TreeOutline(Tree()), std::vector<std::string>{"one.txt"});

    WriteFile(temp / "src/one.txt", "1");
    script.onConfirm = [](const std::string&) { return true; };
    SetText("Edit2", temp / "src");
    Button("Button_MakeArchive")->click();
    EXPECT_EQ(Caption(), "O.K. Packed: 0 dirs and 1 files!");
    EXPECT_EQ(TreeOutline(Tree()), std::vector<std::string>{"one.txt"});
    EXPECT_EQ(ExtractedText(temp / "a.pak", temp / "check", "one.txt"), "1");
}

TEST_F(FormTest, MakePakWithAnEmptyBoxStopsBeforeTheBusyGuard) {
    TEngineLog log;
    CreateForm(kNoFadeSettings, LoggingEngine(log));
    form->BusyFlag = true;  // as while another command runs
    SetText("Edit2", temp / "src");
    Button("Button_MakeArchive")->click();
    EXPECT_EQ(Caption(), "");
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", "");
    Button("Button_MakeArchive")->click();
    EXPECT_EQ(Caption(), "");
    EXPECT_TRUE(form->BusyFlag);

    SetText("Edit2", temp / "src");
    Button("Button_MakeArchive")->click();
    EXPECT_EQ(Caption(), RefusalText);
    EXPECT_EQ(log.makes, 0);
}

TEST_F(FormTest, MakePakConvertsLocFilesWhateverTheSettingAndPassesTheXboxBox) {
    TEngineLog log;
    CreateForm(kLocOffSettings, LoggingEngine(log));
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "src");
    Box("CheckBox_XBOX")->setChecked(true);
    Button("Button_MakeArchive")->click();
    ASSERT_EQ(log.makes, 1);
    EXPECT_TRUE(log.makeLoc);
    EXPECT_TRUE(log.makeXbox);
    EXPECT_EQ(log.makeSource, temp / "src");
    EXPECT_EQ(log.makeArchive, temp / "x.pak");
    EXPECT_EQ(Caption(), "O.K. Packed: 2 dirs and 1,234,567 files!");
}

TEST_F(FormTest, MakePakFailureSaysError) {
    TEngineLog log;
    log.result = false;
    CreateForm(kNoFadeSettings, LoggingEngine(log));
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "src");
    Button("Button_MakeArchive")->click();
    EXPECT_EQ(Caption(), "Error :-(");
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(FormTest, WhatASuccessfulCommandLeftAloneIsShownAsAWarningAfterTheCaption) {
    TEngineLog log;
    log.noticesToTell = {{"x.pak.vpak-new", "cannot remove \"x.pak.vpak-new\": Permission denied"}};
    CreateForm(kNoFadeSettings, LoggingEngine(log));
    SetText("Edit1", temp / "x.pak");
    SetText("Edit2", temp / "src");
    Button("Button_MakeArchive")->click();
    EXPECT_TRUE(script.errors.empty());
    ASSERT_EQ(script.warnings.size(), 1u);
    EXPECT_EQ(script.warnings[0].title, TitleLine);
    EXPECT_EQ(script.warnings[0].text, "cannot remove \"x.pak.vpak-new\": Permission denied");
    EXPECT_EQ(script.warnings[0].captionWhenShown, "O.K. Packed: 2 dirs and 1,234,567 files!");
}

TEST_F(FormTest, MakePakOfATreeWithANameItCannotStoreSaysErrorAndStoresTheRest) {
    CreateForm();
    WriteFile(temp / "src/a/b.txt", "through the folder");
    WriteFile(temp / "src/a\\b.txt", "a backslash in the name");
    SetText("Edit1", temp / "built.pak");
    SetText("Edit2", temp / "src");
    Button("Button_MakeArchive")->click();
    EXPECT_EQ(Caption(), "Error :-(");
    EXPECT_FALSE(form->BusyFlag);
    ASSERT_EQ(script.errors.size(), 1u);
    EXPECT_EQ(script.errors[0].text, "cannot store \"" + temp / "src/a\\b.txt" +
                                         "\": the name holds a backslash, which the archive takes for a folder separator");
    EXPECT_EQ(ExtractedText(temp / "built.pak", temp / "check", "a/b.txt"), "through the folder");
}

// ---- Replace1

TEST_F(FormTest, Replace1AsksForTheFileWithItsOwnTitleAndFilter) {
    CreateForm();
    SetText("Edit1", temp / "a.pak");
    Button("Button_update1")->click();
    ASSERT_EQ(script.opened.size(), 1u);
    EXPECT_EQ(script.opened[0].Title, "Please select the file to replace in the active .PAK archive:");
    EXPECT_EQ(script.opened[0].Filter, "All files (*.*)|*.*");
    EXPECT_EQ(script.opened[0].FileName, "");
    EXPECT_FALSE(script.opened[0].DetailsView);
    EXPECT_EQ(Caption(), "");  // cancelled
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(FormTest, Replace1WithAnEmptyArchiveBoxAsksNothing) {
    CreateForm();
    Button("Button_update1")->click();
    EXPECT_TRUE(script.opened.empty());
    EXPECT_EQ(Caption(), "");
}

TEST_F(FormTest, Replace1WithAnUntaggedNameFailsWithoutTouchingTheArchiveAndSaysWhy) {
    WriteTestArchive(temp / "a.pak", ScriptTree());
    const TArrayOfByte before = ReadFileBytes(temp / "a.pak");
    CreateForm();
    WriteFile(temp / "intro.txt", "new");
    script.onOpen = [this](TOpenDialogState& dialog) {
        dialog.FileName = temp / "intro.txt";
        return true;
    };
    SetText("Edit1", temp / "a.pak");
    Button("Button_update1")->click();
    EXPECT_EQ(Caption(), "Error :-(");
    ASSERT_EQ(script.errors.size(), 1u);
    EXPECT_EQ(script.errors[0].text,
              "cannot use \"" + temp / "intro.txt" + "\": its name carries no hash tag (name.[24 hex digits].ext)");
    EXPECT_EQ(ReadFileBytes(temp / "a.pak"), before);
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(FormTest, Replace1StoresTheTaggedFileInItsEntry) {
    WriteTestArchive(temp / "a.pak", ScriptTree());
    CreateForm();
    const std::string picked = temp / TaggedName("scripts\\intro.txt", "intro", ".txt");
    WriteFile(picked, "brand new intro");
    script.onOpen = [picked](TOpenDialogState& dialog) {
        dialog.FileName = picked;
        return true;
    };
    SetText("Edit1", temp / "a.pak");
    Button("Button_update1")->click();
    EXPECT_EQ(Caption(), "O.K. Successfully updated!");
    EXPECT_EQ(ExtractedText(temp / "a.pak", temp / "check", "scripts/intro.txt"), "brand new intro");
    EXPECT_EQ(ReadFileText(temp / "check/scripts/outro.txt"), "old outro");
}

TEST_F(FormTest, Replace1PassesTheTagTheLocSettingAndMatchByTag) {
    TEngineLog log;
    CreateForm(kLocOffSettings, LoggingEngine(log));
    const std::string tag = TagToText(PathHashTag("text\\menu.loc"));
    const std::string picked = temp / ("menu.[" + tag + "].loc");
    script.onOpen = [picked](TOpenDialogState& dialog) {
        dialog.FileName = picked;
        return true;
    };
    SetText("Edit1", temp / "a.pak");
    Button("Button_update1")->click();
    ASSERT_EQ(log.replaceOnes, 1);
    EXPECT_EQ(log.oneKey, tag);
    EXPECT_EQ(log.oneFile, picked);
    EXPECT_EQ(log.oneArchive, temp / "a.pak");
    EXPECT_FALSE(log.oneLoc);
    EXPECT_TRUE(log.oneByTag);
}

// ---- ReplaceX

TEST_F(FormTest, ReplaceXOnADirectoryWithoutFilesSaysSo) {
    WriteTestArchive(temp / "a.pak", ScriptTree());
    CreateForm();
    fs::create_directories(temp / "empty/nested/deeper");
    SetText("Edit1", temp / "a.pak");
    SetText("Edit2", temp / "empty");
    Button("Button_updateX")->click();
    EXPECT_EQ(Caption(), "I didn't find any file in the given directory.");
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(FormTest, ReplaceXLeavesFilesThatHoldTheirEntrysContentAndCountsThemApart) {
    WriteTestArchive(temp / "a.pak", ScriptTree());
    const TArrayOfByte before = ReadFileBytes(temp / "a.pak");
    CreateForm();
    WriteFile(temp / "new/scripts/intro.txt", "old intro");
    WriteFile(temp / "new/scripts/outro.txt", "old outro");
    WriteFile(temp / "new/readme.txt", "read me");
    SetText("Edit1", temp / "a.pak");
    SetText("Edit2", temp / "new");
    Button("Button_updateX")->click();
    EXPECT_EQ(Caption(), "O.K. Nothing to update: 3 unchanged files left as they were.");
    EXPECT_EQ(ReadFileBytes(temp / "a.pak"), before);

    WriteFile(temp / "new/scripts/intro.txt", "new intro");
    Button("Button_updateX")->click();
    EXPECT_EQ(Caption(), "O.K. Successfully updated 1 files! 2 unchanged files left as they were.");
    EXPECT_EQ(ExtractedText(temp / "a.pak", temp / "check", "scripts/intro.txt"), "new intro");
    EXPECT_TRUE(script.errors.empty());
    EXPECT_TRUE(script.warnings.empty());
}

TEST_F(FormTest, ReplaceXReplacesEveryCounterpartAndCountsThem) {
    WriteTestArchive(temp / "a.pak", ScriptTree());
    CreateForm();
    WriteFile(temp / "new/scripts/intro.txt", "new intro");
    WriteFile(temp / "new/readme.txt", "new readme");
    SetText("Edit1", temp / "a.pak");
    SetText("Edit2", temp / "new");
    TakeCaptions();
    Button("Button_updateX")->click();
    EXPECT_EQ(Caption(), "O.K. Successfully updated 2 files!");
    EXPECT_EQ(TakeCaptions().front(), "");
    EXPECT_EQ(ExtractedText(temp / "a.pak", temp / "check", "scripts/intro.txt"), "new intro");
    EXPECT_EQ(ReadFileText(temp / "check/readme.txt"), "new readme");
    EXPECT_EQ(ReadFileText(temp / "check/scripts/outro.txt"), "old outro");
}

TEST_F(FormTest, ReplaceXWithAnEmptyArchiveBoxFailsSayingSo) {
    CreateForm();
    SetText("Edit2", temp.Path());
    Button("Button_updateX")->click();
    EXPECT_EQ(Caption(), "Error :-(");
    ASSERT_EQ(script.errors.size(), 1u);
    EXPECT_EQ(script.errors[0].text, "cannot open the archive \"\": no archive was named");
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(FormTest, ReplaceXWithAnEmptyDirectoryBoxIsRefusedWithAMessage) {
    TEngineLog log;
    CreateForm(kNoFadeSettings, LoggingEngine(log));
    SetText("Edit1", temp / "a.pak");
    Button("Button_updateX")->click();
    EXPECT_EQ(log.replaceDirs, 0);
    ASSERT_EQ(script.errors.size(), 1u);
    EXPECT_EQ(script.errors[0].text, EmptyDirectoryText);
    EXPECT_EQ(Caption(), "");
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(FormTest, ReplaceXNamesEachFileItSkippedAfterReplacingTheRest) {
    WriteTestArchive(temp / "a.pak", ScriptTree());
    CreateForm();
    WriteFile(temp / "new/readme.txt", "new readme");
    WriteFile(temp / "new/scripts/intro.txt", "new intro");
    WriteFile(temp / "new/stranger.txt", "no entry");
    SetText("Edit1", temp / "a.pak");
    SetText("Edit2", temp / "new");
    Button("Button_updateX")->click();
    EXPECT_EQ(Caption(), "Error :-(");
    ASSERT_EQ(script.errors.size(), 1u);
    EXPECT_EQ(script.errors[0].text,
              "cannot use \"" + temp / "new/stranger.txt" + "\": the archive holds no file \"stranger.txt\"");
    EXPECT_EQ(ExtractedText(temp / "a.pak", temp / "check", "readme.txt"), "new readme");
}

TEST_F(FormTest, ReplaceXPassesBothBoxesTheHashBoxAndTheLocSetting) {
    TEngineLog log;
    log.replacedToReport = 1000;
    CreateForm(kLocOffSettings, LoggingEngine(log));
    SetText("Edit1", temp / "a.pak");
    SetText("Edit2", temp / "dir");
    Box("CheckBox_hash")->setChecked(true);
    Button("Button_updateX")->click();
    ASSERT_EQ(log.replaceDirs, 1);
    EXPECT_EQ(log.dirArchive, temp / "a.pak");
    EXPECT_EQ(log.dirSource, temp / "dir");
    EXPECT_TRUE(log.dirHash);
    EXPECT_FALSE(log.dirLoc);
    EXPECT_EQ(Caption(), "O.K. Successfully updated 1,000 files!");
}

TEST_F(FormTest, ReplaceXIsRefusedWhileAnotherCommandRuns) {
    TEngineLog log;
    CreateForm(kNoFadeSettings, LoggingEngine(log));
    form->BusyFlag = true;
    Button("Button_updateX")->click();
    EXPECT_EQ(Caption(), RefusalText);
    EXPECT_EQ(log.replaceDirs, 0);
}

TEST_F(FormTest, LocSettingOnReachesReplace1AndReplaceX) {
    TEngineLog log;
    CreateForm(kNoFadeSettings, LoggingEngine(log));
    const std::string picked = temp / TaggedName("a\\b.loc", "b", ".loc");
    script.onOpen = [picked](TOpenDialogState& dialog) {
        dialog.FileName = picked;
        return true;
    };
    SetText("Edit1", temp / "a.pak");
    SetText("Edit2", temp / "dir");
    Button("Button_update1")->click();
    Button("Button_updateX")->click();
    EXPECT_TRUE(log.oneLoc);
    EXPECT_TRUE(log.dirLoc);
}
