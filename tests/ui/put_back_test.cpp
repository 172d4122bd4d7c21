// Opening an entry in its program from the tree, and putting the changed copy back.
#include <QAction>
#include <QTest>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <sys/stat.h>

#include <filesystem>

#include "engine/format/loc_convert.h"
#include "form_fixture.h"
#include "helpers/archive_writer.h"
#include "helpers/environment_variable.h"
#include "helpers/run_cli.h"
#include "ui/entry_store.h"
#include "ui/opened_entries.h"
#include "ui/put_back_texts.h"
#include "ui/ui_texts.h"

namespace fs = std::filesystem;

namespace {

TestFile File(const std::string& name, const std::string& content) { return {name, Bytes(content)}; }

TArrayOfByte TableOf(bool xbox, const std::string& text, const std::string& scratch) {
    WriteFile(scratch, text);
    TArrayOfByte table;
    EXPECT_TRUE(TextToLoc(xbox, scratch, table));
    return table;
}

struct Flavour {
    const char* name;
    bool xbox;
};

// How the program given the copy saves it.
enum class Save { InPlace, RenameOver };

void SaveCopy(const std::string& path, const std::string& content, Save how) {
    if (how == Save::InPlace) {
        WriteFile(path, content);
        return;
    }
    WriteFile(path + ".new~", content);
    fs::rename(path + ".new~", path);
}

}  // namespace

class PutBackTest : public FormTest, public ::testing::WithParamInterface<Flavour> {
protected:
    std::string archive;
    std::unique_ptr<EnvironmentVariable> runtimeDir;

    bool Xbox() const { return GetParam().xbox; }

    void SetUp() override {
        archive = temp / "data.pak";
        fs::create_directory(temp / "runtime", temp.Path());
        fs::permissions(temp / "runtime", fs::perms::owner_all);
        runtimeDir = std::make_unique<EnvironmentVariable>("XDG_RUNTIME_DIR", (temp / "runtime").c_str());
        const TestFolder tree{"",
                              {{"text",
                                {},
                                {File("greeting.txt", "hello"), {"strings.loc", TableOf(Xbox(), "old\r\n", temp / "t.loc")}}}},
                              {File("top.bin", "top")}};
        WriteTestArchive(archive, tree, Xbox());
    }

    void OpenArchive() {
        realClock = true;
        CreateForm();
        Box("CheckBox_XBOX")->setChecked(Xbox());
        form->OpenGivenArchive(archive);
        ASSERT_EQ(Caption(), "O.K. The file successfully opened, contains 3 files.");
        form->findChild<TOpenedEntries*>("OpenedEntries")->SetQuietPeriod(std::chrono::milliseconds(100));
    }

    QTreeWidgetItem* Node(const std::string& path) const {
        for (QTreeWidgetItemIterator it(Tree()); *it != nullptr; ++it)
            if (Tree()->ArchivePathOf(*it) == path) return *it;
        ADD_FAILURE() << "no node " << path;
        return nullptr;
    }

    void Select(const std::string& path) {
        QTreeWidgetItem* node = Node(path);
        Tree()->clearSelection();
        Tree()->setCurrentItem(node);
        node->setSelected(true);
    }

    // Selects the entry and presses Enter on the tree; the copy it was opened as.
    std::string OpenWithEnter(const std::string& path) {
        Select(path);
        Tree()->setFocus();
        QTest::keyClick(Tree(), Qt::Key_Return);
        QApplication::processEvents();
        EXPECT_FALSE(openedFiles.empty());
        return openedFiles.empty() ? "" : openedFiles.back();
    }

    bool WaitForQuestion(size_t count = 1, int ms = 5000) {
        return QTest::qWaitFor([&] { return script.asked.size() >= count; }, ms);
    }

    std::string Cat(const std::string& entry) const {
        return CatEntry(archive, entry, Xbox());
    }
};

INSTANTIATE_TEST_SUITE_P(Flavours, PutBackTest, ::testing::Values(Flavour{"Pc", false}, Flavour{"Xbox", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(PutBackTest, EnterDoubleClickAndOpenInTheMenuOpenTheEntryInAPrivateFolderUnderItsOwnName) {
    OpenArchive();
    using Gesture = std::function<void()>;
    const std::vector<std::pair<const char*, Gesture>> gestures = {
        {"Enter", [&] { OpenWithEnter("text\\greeting.txt"); }},
        {"double click",
         [&] {
             Select("top.bin");
             const QRect rect = Tree()->visualItemRect(Node("top.bin"));
             // A double click is a click and the second press, as the window system sends them.
             QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
             QTest::mouseDClick(Tree()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
         }},
        {"menu",
         [&] {
             Select("text\\strings.loc");
             QAction* open = Find<QAction>("Action_Open");
             ASSERT_TRUE(open->isEnabled());
             open->trigger();
         }},
    };
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"greeting.txt", "hello"}, {"top.bin", "top"}, {"strings.loc", "old\r\n"}};
    for (size_t i = 0; i < gestures.size(); ++i) {
        SCOPED_TRACE(gestures[i].first);
        gestures[i].second();
        QApplication::processEvents();
        ASSERT_EQ(openedFiles.size(), i + 1);
        const fs::path copy = openedFiles[i];
        EXPECT_EQ(copy.filename(), expected[i].first);
        EXPECT_EQ(ReadFileText(copy), expected[i].second);
        // Each copy has a private folder of its own below $XDG_RUNTIME_DIR.
        fs::path folder = copy.parent_path();
        if (folder.filename() == "text") folder = folder.parent_path();
        EXPECT_EQ(folder.parent_path(), fs::path(temp / "runtime"));
        struct stat info {};
        ASSERT_EQ(::stat(folder.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        EXPECT_EQ(Caption(), OpenedText(Tree()->ArchivePathOf(Node(i == 0   ? "text\\greeting.txt"
                                                                    : i == 1 ? "top.bin"
                                                                             : "text\\strings.loc"))));
    }
    // The folders go when the window closes.
    form->close();
    for (const std::string& copy : openedFiles) EXPECT_FALSE(fs::exists(copy)) << copy;
}

TEST_P(PutBackTest, ALocTableOpensAsTheBinaryTableWhenAutoConvertIsOff) {
    OpenArchive();
    form->AutoConvertLOCfiles = false;
    const std::string copy = OpenWithEnter("text\\strings.loc");
    EXPECT_EQ(ReadFileBytes(copy), TableOf(Xbox(), "old\r\n", temp / "u.loc"));
}

TEST_P(PutBackTest, AChangedCopyIsPutBackOnYesWhicheverWayItWasSaved) {
    for (const Save how : {Save::InPlace, Save::RenameOver}) {
        SCOPED_TRACE(how == Save::InPlace ? "in place" : "rename over");
        OpenArchive();
        script.asked.clear();
        script.onAsk = [](const std::string&) { return true; };
        const std::string copy = OpenWithEnter("text\\greeting.txt");
        const std::string content = how == Save::InPlace ? "changed in place, longer" : "renamed over it, longer still";
        SaveCopy(copy, content, how);
        ASSERT_TRUE(WaitForQuestion());
        EXPECT_EQ(script.asked.front().second,
                  "\u201Ctext\\greeting.txt\u201D was changed in another program. Put it back into the archive?");
        EXPECT_EQ(Cat("text\\greeting.txt"), content);
        EXPECT_EQ(Cat("top.bin"), "top");
        EXPECT_EQ(Caption(), kUpdatedText);
        // The tree shows the new size.
        EXPECT_NE(Tree()->ToolTipOf(Node("text\\greeting.txt")).find(std::to_string(content.size())), std::string::npos)
            << Tree()->ToolTipOf(Node("text\\greeting.txt"));
        form->close();
        form.reset();
        openedFiles.clear();
    }
}

TEST_P(PutBackTest, ALocTextIsPutBackAsItsTable) {
    OpenArchive();
    script.onAsk = [](const std::string&) { return true; };
    const std::string copy = OpenWithEnter("text\\strings.loc");
    SaveCopy(copy, "new\r\nlines\r\n", Save::RenameOver);
    ASSERT_TRUE(WaitForQuestion());
    const TArrayOfByte table = TableOf(Xbox(), "new\r\nlines\r\n", temp / "v.loc");
    EXPECT_EQ(Cat("text\\strings.loc"), std::string(table.begin(), table.end()));
}

TEST_P(PutBackTest, NoLeavesTheArchiveAsItIsAndTheNextSaveAsksAgain) {
    OpenArchive();
    const TArrayOfByte before = ReadFileBytes(archive);
    const std::string copy = OpenWithEnter("text\\greeting.txt");
    SaveCopy(copy, "first", Save::InPlace);
    ASSERT_TRUE(WaitForQuestion());
    QTest::qWait(400);
    EXPECT_EQ(script.asked.size(), 1u);
    EXPECT_EQ(ReadFileBytes(archive), before);
    script.onAsk = [](const std::string&) { return true; };
    SaveCopy(copy, "second", Save::RenameOver);
    ASSERT_TRUE(WaitForQuestion(2));
    EXPECT_EQ(Cat("text\\greeting.txt"), "second");
}

TEST_P(PutBackTest, SeveralOpenedCopiesArePutBackEachIntoItsEntry) {
    OpenArchive();
    script.onAsk = [](const std::string&) { return true; };
    const std::string first = OpenWithEnter("text\\greeting.txt");
    const std::string second = OpenWithEnter("top.bin");
    SaveCopy(first, "one", Save::InPlace);
    ASSERT_TRUE(WaitForQuestion(1));
    // An Xbox 360 archive was written anew by the first: the second still goes into it.
    SaveCopy(second, "two", Save::RenameOver);
    ASSERT_TRUE(WaitForQuestion(2));
    EXPECT_EQ(Cat("text\\greeting.txt"), "one");
    EXPECT_EQ(Cat("top.bin"), "two");
}

TEST_P(PutBackTest, AnArchiveReplacedByAnotherFileIsToldAndNotWritten) {
    OpenArchive();
    script.onAsk = [](const std::string&) { return true; };
    const std::string copy = OpenWithEnter("text\\greeting.txt");
    fs::copy_file(archive, temp / "other.pak");
    fs::rename(temp / "other.pak", archive);
    const TArrayOfByte before = ReadFileBytes(archive);
    SaveCopy(copy, "changed", Save::InPlace);
    ASSERT_TRUE(WaitForQuestion());
    ASSERT_EQ(script.errors.size(), 1u);
    EXPECT_EQ(script.errors.front().text, ArchiveReplacedReason(archive));
    EXPECT_EQ(Caption(), ErrorText);
    EXPECT_EQ(ReadFileBytes(archive), before);
}

TEST_P(PutBackTest, TheQuestionWaitsForTheRunningCommand) {
    OpenArchive();
    const std::string copy = OpenWithEnter("text\\greeting.txt");
    form->BusyFlag = true;
    SaveCopy(copy, "changed", Save::InPlace);
    QTest::qWait(600);
    EXPECT_TRUE(script.asked.empty());
    form->BusyFlag = false;
    EXPECT_TRUE(WaitForQuestion());
}

TEST_P(PutBackTest, ClosingWithAChangedCopyNotPutBackAsksFirst) {
    OpenArchive();
    const std::string copy = OpenWithEnter("text\\greeting.txt");
    SaveCopy(copy, "changed", Save::InPlace);
    ASSERT_TRUE(WaitForQuestion());  // answered No
    script.onConfirm = [](const std::string&) { return false; };
    EXPECT_FALSE(form->close());
    ASSERT_EQ(script.confirmed.size(), 1u);
    EXPECT_EQ(script.confirmed.front(), UnstoredCloseQuestion({"text\\greeting.txt"}));
    EXPECT_TRUE(fs::exists(copy));
    script.onConfirm = [](const std::string&) { return true; };
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(fs::exists(copy));
}

TEST_P(PutBackTest, ClosingWithNoChangedCopyAsksNothing) {
    OpenArchive();
    OpenWithEnter("text\\greeting.txt");
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(script.confirmed.empty());
}

TEST_P(PutBackTest, NoProgramForTheTypeIsToldAndKeepsNoCopy) {
    OpenArchive();
    programFound = false;
    const std::string copy = OpenWithEnter("top.bin");
    EXPECT_EQ(Caption(), ErrorText);
    ASSERT_EQ(script.errors.size(), 1u);
    EXPECT_EQ(script.errors.front().text, NoProgramText("top.bin"));
    EXPECT_FALSE(fs::exists(copy));
}

TEST_P(PutBackTest, OpeningAnOpenEntryAgainShowsTheSameCopyWithItsEdits) {
    OpenArchive();
    const std::string copy = OpenWithEnter("text\\greeting.txt");
    WriteFile(copy, "edited, not saved back");
    EXPECT_EQ(OpenWithEnter("text\\greeting.txt"), copy);
    EXPECT_EQ(ReadFileText(copy), "edited, not saved back");
    // A copy removed meanwhile is made anew.
    fs::remove(copy);
    const std::string again = OpenWithEnter("text\\greeting.txt");
    EXPECT_EQ(ReadFileText(again), "hello");
    EXPECT_EQ(OpenWithEnter("text\\greeting.txt"), again);
}

TEST_P(PutBackTest, ACopyStillGoesIntoTheArchiveAfterTheTreesOwnEditWroteItAnew) {
    OpenArchive();
    script.onAsk = [](const std::string&) { return true; };
    script.onConfirm = [](const std::string&) { return true; };
    const std::string copy = OpenWithEnter("text\\greeting.txt");
    Select("top.bin");
    Find<QAction>("Action_Remove")->trigger();
    ASSERT_EQ(Caption(), "O.K. Removed 1 file and 0 dirs!");
    SaveCopy(copy, "after the removal", Save::InPlace);
    ASSERT_TRUE(WaitForQuestion());
    EXPECT_TRUE(script.errors.empty()) << script.errors.front().text;
    EXPECT_EQ(Cat("text\\greeting.txt"), "after the removal");
}
