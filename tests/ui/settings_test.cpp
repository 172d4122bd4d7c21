// The settings file: where it lives, how values read and write, and what the window does
// with them at start and at close.
#include <QLabel>
#include <filesystem>

#include "form_fixture.h"
#include "ui/ini_file.h"
#include "ui/settings_path.h"
#include "ui/ui_texts.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        from = end + 1;
    }
    return lines;
}

}  // namespace

TEST(IniTextToInt, DecimalAndPrefixedHexadecimal) {
    EXPECT_EQ(IniTextToInt("120", 5), 120);
    EXPECT_EQ(IniTextToInt("-42", 5), -42);
    EXPECT_EQ(IniTextToInt("0x10", 5), 16);
    EXPECT_EQ(IniTextToInt("0XfF", 5), 255);
    EXPECT_EQ(IniTextToInt("0xFFFFFFFF", 5), -1);
    EXPECT_EQ(IniTextToInt("010", 5), 10);
}

TEST(IniTextToInt, AnythingElseGivesTheDefault) {
    for (const char* text : {"", "abc", "0x", "0x1G", "12a", "true", "- 1", "0x100000000", "2147483648", "1.5"})
        EXPECT_EQ(IniTextToInt(text, 7), 7) << text;
    EXPECT_EQ(IniTextToInt("2147483647", 7), 2147483647);
    EXPECT_EQ(IniTextToInt("-2147483648", 7), -2147483647 - 1);
}

TEST(SettingsPath, BesideTheExecutableTheExtensionBecomesIni) {
    EXPECT_EQ(SettingsFileBesideExecutable("/opt/vpak/bin/vpak-gui"), "/opt/vpak/bin/vpak-gui.ini");
    EXPECT_EQ(SettingsFileBesideExecutable("/opt/v.1/tool.exe"), "/opt/v.1/tool.ini");
    EXPECT_EQ(SettingsFileBesideExecutable("/opt/v.1/.tool"), "/opt/v.1/.tool.ini");
}

TEST(SettingsPath, AnUnwritableProgramFolderSendsTheFileToTheUsersConfiguration) {
    EXPECT_EQ(ChooseSettingsFile("/usr/bin/vpak-gui", true, "/x", "/home/u"), "/usr/bin/vpak-gui.ini");
    EXPECT_EQ(ChooseSettingsFile("/usr/bin/vpak-gui", false, "/cfg", "/home/u"), "/cfg/vpak-gui.ini");
    EXPECT_EQ(ChooseSettingsFile("/usr/bin/vpak-gui", false, "", "/home/u"), "/home/u/.config/vpak-gui.ini");
    EXPECT_EQ(ChooseSettingsFile("/usr/bin/vpak-gui", false, "relative", "/home/u"), "/home/u/.config/vpak-gui.ini");
}

TEST(SettingsPath, AProgramIsInstalledWhereItsDesktopEntryLiesBesideItsBinFolder) {
    TempDir prefix;
    fs::create_directories(prefix / "bin");
    EXPECT_FALSE(IsInstalledProgram(prefix / "bin"));
    WriteFile(prefix / "share/applications/io.github.vpak.vpak.desktop", "[Desktop Entry]\n");
    EXPECT_TRUE(IsInstalledProgram(prefix / "bin"));
}

TEST(IniFile, KeepsBackslashesUnknownEntriesAndComments) {
    TempDir temp;
    const std::string path = temp / "s.ini";
    WriteFile(path, "; first\n[Foreign]\nkey=value\n; about Top\n[mainwindow]\ntop=5\nMine=kept\n; last words\n");
    {
        TIniFile ini(path);
        ini.WriteInteger("MainWindow", "Top", 7);
        ini.WriteString("Path", "pack_FileName", "D:\\pak\\data.pak");
        ini.UpdateFile();
    }
    const std::string text = ReadFileText(path);
    for (const char* kept : {"; first", "[Foreign]", "key=value", "; about Top", "Mine=kept", "; last words",
                             "pack_FileName=D:\\pak\\data.pak"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
    EXPECT_NE(text.find("top=7"), std::string::npos);  // the key keeps its spelling
    EXPECT_EQ(text.find("[MainWindow]"), std::string::npos);
    const TIniFile again(path);
    EXPECT_EQ(again.ReadInteger("MAINWINDOW", "TOP", 0), 7);
    EXPECT_EQ(again.ReadString("path", "PACK_FILENAME", ""), "D:\\pak\\data.pak");
}

TEST(IniFile, SavingTwiceChangesNothing) {
    TempDir temp;
    const std::string path = temp / "s.ini";
    WriteFile(path, "[A]\nx=1\n; tail\n");
    TIniFile(path).UpdateFile();
    const std::string once = ReadFileText(path);
    TIniFile(path).UpdateFile();
    EXPECT_EQ(ReadFileText(path), once);
}

TEST(IniFile, UnwritableFileRaisesUnableToWriteTo) {
    TempDir temp;
    const std::string path = temp / "no/such/dir/s.ini";
    WriteFile(temp / "no", "a file where a folder should be");
    TIniFile ini(path);
    ini.WriteInteger("A", "x", 1);
    try {
        ini.UpdateFile();
        FAIL() << "no error raised";
    } catch (const ESettingsWriteError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + path);
    }
}

TEST_F(FormTest, WithoutASettingsFileTheDefaultsApplyAndCloseWritesEveryValue) {
    CreateForm("");
    EXPECT_EQ(form->pos(), QPoint(510, 397));
    EXPECT_EQ(Edit("Edit1")->text(), "");
    EXPECT_EQ(Edit("Edit2")->text(), "");
    EXPECT_FALSE(Box("CheckBox_hash")->isChecked());
    EXPECT_FALSE(Box("CheckBox_XBOX")->isChecked());
    EXPECT_TRUE(form->AutoConvertLOCfiles);
    EXPECT_TRUE(form->FadeEffectOnExit);

    form->FadeEffectOnExit = false;  // keeps the test short; written back as 0
    form->close();
    EXPECT_EQ(Lines(ReadFileText(SettingsPath())),
              (std::vector<std::string>{"[MainWindow]", "Top=397", "Left=510", "Width=520", "Height=364", "[Path]",
                                        "pack_FileName=", "TargetDir=", "[Other]", "hash96=0", "XBOX360=0",
                                        "AutoConvertLOCfiles=1", "[Misc]", "FadeEffectOnExit=0", "[View]",
                                        "Details=0", "Preview=0"}));
}

TEST_F(FormTest, SettingsRoundTripThroughAClose) {
    CreateForm();
    form->move(33, 44);
    form->resize(600, 400);
    SetText("Edit1", "D:\\pak\\data.pak");
    SetText("Edit2", temp / "out");
    Box("CheckBox_hash")->setChecked(true);
    Box("CheckBox_XBOX")->setChecked(true);
    form->close();
    form.reset();

    CreateForm(std::string());
    EXPECT_EQ(form->pos(), QPoint(33, 44));
    EXPECT_EQ(form->size(), QSize(600, 400));
    EXPECT_EQ(StdStr(Edit("Edit1")->text()), "D:\\pak\\data.pak");
    EXPECT_EQ(StdStr(Edit("Edit2")->text()), temp / "out");
    EXPECT_TRUE(Box("CheckBox_hash")->isChecked());
    EXPECT_TRUE(Box("CheckBox_XBOX")->isChecked());
    EXPECT_FALSE(form->FadeEffectOnExit);
}

TEST_F(FormTest, HexadecimalTopReadsAndGarbageGivesTheDefault) {
    CreateForm("[MainWindow]\nTop=0x10\nLeft=abc\n[Misc]\nFadeEffectOnExit=0\n");
    EXPECT_EQ(form->y(), 16);
    EXPECT_EQ(form->x(), 510);
}

TEST_F(FormTest, BooleanWrittenAsAWordReadsAsFalse) {
    CreateForm("[Other]\nhash96=true\nXBOX360=2\n[Misc]\nFadeEffectOnExit=0\n");
    EXPECT_FALSE(Box("CheckBox_hash")->isChecked());
    EXPECT_TRUE(Box("CheckBox_XBOX")->isChecked());
}

TEST_F(FormTest, XboxSettingStartsWithBothReplaceButtonsDisabled) {
    CreateForm("[Other]\nXBOX360=1\n[Misc]\nFadeEffectOnExit=0\n");
    EXPECT_TRUE(Box("CheckBox_XBOX")->isChecked());
    EXPECT_FALSE(Button("Button_update1")->isEnabled());
    EXPECT_FALSE(Button("Button_updateX")->isEnabled());
}

TEST_F(FormTest, LongPathIsReadBackCutTo2047Characters) {
    const std::string longPath = "/" + std::string(2999, 'p');
    CreateForm("[Path]\npack_FileName=" + longPath + "\n[Misc]\nFadeEffectOnExit=0\n");
    EXPECT_EQ(StdStr(Edit("Edit1")->text()), longPath.substr(0, 2047));
}

TEST_F(FormTest, SectionsAndKeysInAnotherLetterCaseAreRead) {
    CreateForm("[mainwindow]\nTOP=20\n[PATH]\npack_filename=C:\\x.pak\n[other]\nautoconvertlocfiles=0\n"
               "[MISC]\nfadeeffectonexit=0\n");
    EXPECT_EQ(form->y(), 20);
    EXPECT_EQ(StdStr(Edit("Edit1")->text()), "C:\\x.pak");
    EXPECT_FALSE(form->AutoConvertLOCfiles);
    form->close();
    const std::string text = ReadFileText(SettingsPath());
    EXPECT_NE(text.find("[mainwindow]"), std::string::npos);
    EXPECT_EQ(text.find("[MainWindow]"), std::string::npos);
}

TEST_F(FormTest, UnwritableSettingsFileIsReportedAndTheWindowStillCloses) {
    CreateForm();
    fs::remove(SettingsPath());
    fs::create_directory(SettingsPath());  // a folder in the file's place cannot be written
    form->close();
    ASSERT_EQ(script.errors.size(), 1u);
    EXPECT_EQ(script.errors[0].title, TitleLine);
    EXPECT_EQ(script.errors[0].text, "Unable to write to " + SettingsPath());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(Tree(), nullptr);
}
