// The contents tree's menu, drops onto the tree and the window, and entries dragged out.
#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <filesystem>
#include <map>

#include "form_fixture.h"
#include "tree_fixture.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/environment_variable.h"
#include "ui/ui_texts.h"

namespace fs = std::filesystem;

namespace {

// Every file of the archive at path with its content.
std::map<std::string, std::string> ArchiveFiles(const std::string& path) {
    const TArrayOfByte bytes = ReadFileBytes(path);
    std::map<std::string, std::string> files;
    for (const ProbedEntry& entry : ProbeEntries(path)) {
        const TArrayOfByte content = ProbeContent(bytes, entry);
        files[entry.path] = std::string(content.begin(), content.end());
    }
    return files;
}

QTreeWidgetItem* FindNode(QTreeWidget* tree, const std::string& path) {
    QTreeWidgetItem* node = nullptr;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('\\', start), path.size());
        const QString name = QStr(path.substr(start, end - start));
        QTreeWidgetItem* next = nullptr;
        const int count = node == nullptr ? tree->topLevelItemCount() : node->childCount();
        for (int i = 0; i < count && next == nullptr; ++i) {
            QTreeWidgetItem* child = node == nullptr ? tree->topLevelItem(i) : node->child(i);
            if (child->text(0) == name) next = child;
        }
        if (next == nullptr) return nullptr;
        node = next;
        start = end + 1;
    }
    return node;
}

// Drags data over target and drops it at point, as a person would, leaving what the drop
// set off to the events still to come; false when the drag or the drop is refused.
bool DragAndDropOnly(QWidget* target, const QPoint& point, const QMimeData& data) {
    QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

// DragAndDropOnly, and what the drop set off.
bool DragAndDrop(QWidget* target, const QPoint& point, const QMimeData& data) {
    const bool accepted = DragAndDropOnly(target, point, data);
    QApplication::processEvents();
    return accepted;
}

}  // namespace

class TreeCommandsTest : public FormTest {
protected:
    std::string archive;

    void SetUp() override {
        archive = temp / "data.pak";
        WriteTestArchive(archive, SmallTree());
    }

    void OpenArchive(bool xbox = false) {
        CreateForm();
        Box("CheckBox_XBOX")->setChecked(xbox);
        form->OpenGivenArchive(archive);
        ASSERT_EQ(Caption(), "O.K. The file successfully opened, contains 4 files.");
    }

    QAction* Action(const char* name) const { return Find<QAction>(name); }

    void Select(const std::vector<std::string>& paths) {
        Tree()->clearSelection();
        for (const std::string& path : paths) {
            QTreeWidgetItem* node = FindNode(Tree(), path);
            ASSERT_NE(node, nullptr) << path;
            node->setSelected(true);
            Tree()->setCurrentItem(node, 0, QItemSelectionModel::NoUpdate);
        }
    }

    // The scripted folder dialog answers with a new folder below the test's directory.
    std::string AnswerFolder(const std::string& name) {
        const std::string folder = temp / name;
        fs::create_directories(folder);
        script.onFolder = [folder](const std::string&, const std::string&, std::string& chosen) {
            chosen = folder;
            return true;
        };
        return folder;
    }
};

struct MenuCase {
    const char* what;
    std::vector<std::string> selected;
    bool xbox;
    // Extract, Replace, Add files, Add folder, Remove, Copy path
    std::vector<bool> enabled;
    bool opened = true;
};

class MenuItems : public TreeCommandsTest, public ::testing::WithParamInterface<MenuCase> {};

TEST_P(MenuItems, ApplyToTheSelectionAndAreDisabledOtherwise) {
    const MenuCase& c = GetParam();
    if (c.xbox) WriteTestArchive(archive, SmallTree(), true);
    if (c.opened) {
        OpenArchive(c.xbox);
        Select(c.selected);
    } else {
        CreateForm();
    }
    const char* names[] = {"Action_Extract",   "Action_Replace", "Action_AddFiles",
                           "Action_AddFolder", "Action_Remove",  "Action_CopyPath"};
    for (size_t i = 0; i < c.enabled.size(); ++i) {
        EXPECT_EQ(Action(names[i])->isEnabled(), c.enabled[i]) << c.what << ": " << names[i];
        EXPECT_TRUE(Action(names[i])->isVisible()) << names[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Selections, MenuItems,
    ::testing::Values(MenuCase{"no archive opened", {}, false, {false, false, false, false, false, false}, false},
                      MenuCase{"nothing", {}, false, {false, false, true, true, false, false}},
                      MenuCase{"one file", {"top.txt"}, false, {true, true, true, true, true, true}},
                      MenuCase{"one folder", {"alpha"}, false, {true, false, true, true, true, true}},
                      MenuCase{"two files", {"top.txt", "beta\\x.txt"}, false, {true, false, false, false, true, true}},
                      MenuCase{"xbox file", {"top.txt"}, true, {true, false, true, true, true, true}}),
    [](const ::testing::TestParamInfo<MenuCase>& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (ch == ' ') ch = '_';
        return name;
    });

TEST_F(TreeCommandsTest, ExtractWritesTheSelectedEntriesWithTheirFoldersIntoTheChosenDirectory) {
    OpenArchive();
    SetText("Edit2", temp.Path());
    const std::string target = AnswerFolder("out");
    Select({"alpha\\sub", "top.txt"});
    Action("Action_Extract")->trigger();

    ASSERT_EQ(script.folders.size(), 1u);
    EXPECT_EQ(script.folders[0].second, temp.Path());  // preselected from the Directory box
    EXPECT_EQ(ReadFileText(target + "/alpha/sub/z.txt"), "zed");
    EXPECT_EQ(ReadFileText(target + "/top.txt"), "top");
    EXPECT_FALSE(fs::exists(target + "/alpha/y.txt"));
    EXPECT_FALSE(fs::exists(target + "/beta"));
    EXPECT_EQ(Caption(), "O.K. Successfully extracted 2 files!");
}

TEST_F(TreeCommandsTest, ExtractTakesAnEntryNameWithWildcardCharactersLiterally) {
    WriteTestArchive(archive, TestFolder{"", {}, {File("a*.txt", "star"), File("ab.txt", "plain")}});
    CreateForm();
    form->OpenGivenArchive(archive);
    const std::string target = AnswerFolder("out");
    Select({"a*.txt"});
    Action("Action_Extract")->trigger();

    EXPECT_EQ(ReadFileText(target + "/a*.txt"), "star");
    EXPECT_FALSE(fs::exists(target + "/ab.txt"));
}

TEST_F(TreeCommandsTest, ReplacePutsTheChosenFileInPlaceOfTheSelectedEntryWithoutAHashTag) {
    OpenArchive();
    WriteFile(temp / "new.txt", "brand new");
    script.onOpen = [this](TOpenDialogState& state) {
        state.FileName = temp / "new.txt";
        return true;
    };
    Select({"beta\\x.txt"});
    Action("Action_Replace")->trigger();

    EXPECT_EQ(ArchiveFiles(archive)["beta\\x.txt"], "brand new");
    EXPECT_EQ(Caption(), kUpdatedText);
    EXPECT_TRUE(script.errors.empty());
}

TEST_F(TreeCommandsTest, AddedFilesGoIntoTheSelectedFolderAndTheTreeKeepsExpansionAndSelection) {
    OpenArchive();
    WriteFile(temp / "one.txt", "1");
    WriteFile(temp / "two.txt", "2");
    script.onOpen = [this](TOpenDialogState& state) {
        EXPECT_TRUE(state.MultiSelect);
        state.FileNames = {temp / "one.txt", temp / "two.txt"};
        state.FileName = state.FileNames.front();
        return true;
    };
    FindNode(Tree(), "alpha")->setExpanded(true);
    FindNode(Tree(), "alpha\\sub")->setExpanded(true);
    Select({"alpha\\sub"});
    Action("Action_AddFiles")->trigger();

    const std::map<std::string, std::string> files = ArchiveFiles(archive);
    EXPECT_EQ(files.at("alpha\\sub\\one.txt"), "1");
    EXPECT_EQ(files.at("alpha\\sub\\two.txt"), "2");
    EXPECT_EQ(Caption(), AddedText(2, 0));
    QTreeWidgetItem* sub = FindNode(Tree(), "alpha\\sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->childCount(), 3);
    EXPECT_TRUE(sub->isExpanded());
    EXPECT_TRUE(FindNode(Tree(), "alpha")->isExpanded());
    EXPECT_FALSE(FindNode(Tree(), "beta")->isExpanded());
    EXPECT_EQ(Tree()->selectedItems(), QList<QTreeWidgetItem*>{sub});
}

TEST_F(TreeCommandsTest, AnAddedFolderGoesInUnderItsOwnNameAtTheRootWhenNothingIsSelected) {
    OpenArchive();
    WriteFile(temp / "pack/inner/deep.txt", "deep");
    const std::string folder = temp / "pack";
    script.onFolder = [folder](const std::string&, const std::string&, std::string& chosen) {
        chosen = folder;
        return true;
    };
    Select({});
    Action("Action_AddFolder")->trigger();

    EXPECT_EQ(ArchiveFiles(archive).at("pack\\inner\\deep.txt"), "deep");
    EXPECT_EQ(Caption(), AddedText(1, 0));
    EXPECT_NE(FindNode(Tree(), "pack\\inner\\deep.txt"), nullptr);
}

TEST_F(TreeCommandsTest, RemoveAsksNamingHowManyFilesGoAndRemovesOnlyOnYes) {
    OpenArchive();
    Select({"alpha", "alpha\\y.txt", "top.txt"});
    Action("Action_Remove")->trigger();
    ASSERT_EQ(script.confirmed.size(), 1u);
    EXPECT_NE(script.confirmed[0].find("3 files will be removed"), std::string::npos) << script.confirmed[0];
    EXPECT_EQ(ArchiveFiles(archive).size(), 4u);

    script.onConfirm = [](const std::string&) { return true; };
    Action("Action_Remove")->trigger();
    EXPECT_EQ(ArchiveFiles(archive), (std::map<std::string, std::string>{{"beta\\x.txt", "ex"}}));
    EXPECT_EQ(Caption(), RemovedText(3, 2));
    EXPECT_EQ(TreeOutline(Tree()), (std::vector<std::string>{"beta", "  x.txt"}));
}

TEST_F(TreeCommandsTest, CopyPathPutsTheArchivePathsWithBackslashesOnTheClipboard) {
    OpenArchive();
    Select({"alpha\\sub\\z.txt", "beta"});
    Action("Action_CopyPath")->trigger();
    EXPECT_EQ(StdStr(QApplication::clipboard()->text()), "alpha\\sub\\z.txt\nbeta");
}

TEST_F(TreeCommandsTest, AMenuCommandIsRefusedWhileAnotherRuns) {
    OpenArchive();
    Select({"top.txt"});
    form->BusyFlag = true;  // as while another command runs
    for (const char* name : {"Action_Extract", "Action_Replace", "Action_AddFiles", "Action_Remove"}) {
        Action(name)->trigger();
        EXPECT_EQ(Caption(), RefusalText) << name;
    }
    EXPECT_TRUE(script.folders.empty());
    EXPECT_TRUE(script.opened.empty());
    EXPECT_TRUE(script.confirmed.empty());
    form->BusyFlag = false;
}

TEST_F(TreeCommandsTest, AnArchiveThatCannotBeReadAnyMoreEndsTheCommandInAnErrorBox) {
    OpenArchive();
    Select({"top.txt"});
    WriteFile(archive, "not an archive at all, but long enough to be read as a header");
    script.onConfirm = [](const std::string&) { return true; };
    Action("Action_Remove")->trigger();
    EXPECT_EQ(Caption(), ErrorText);
    EXPECT_EQ(script.errors.size(), 1u);
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(TreeCommandsTest, TheMenuOpensFromTheMenuKeyAndShiftF10OnTheSelectedEntry) {
    OpenArchive();
    Select({"top.txt"});
    auto* menu = Find<QMenu>("ContentsMenu");
    for (const auto& [key, modifiers] : std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>>{
             {Qt::Key_Menu, Qt::NoModifier}, {Qt::Key_F10, Qt::ShiftModifier}}) {
        QTest::keyClick(Tree(), key, modifiers);
        QApplication::processEvents();
        EXPECT_TRUE(menu->isVisible()) << key;
        menu->hide();
    }
}

TEST_F(TreeCommandsTest, EntriesDraggedOutAreExtractedToAPrivateFolderThatTheNextDragRemoves) {
    OpenArchive();
    Select({"alpha\\sub", "top.txt"});
    std::unique_ptr<QMimeData> data(form->DragOutEntries());
    ASSERT_NE(data, nullptr);
    const QList<QUrl> urls = data->urls();
    ASSERT_EQ(urls.size(), 2);
    const std::string folder = StdStr(urls[0].toLocalFile());
    EXPECT_EQ(fs::path(folder).filename(), "sub");
    EXPECT_EQ(ReadFileText(folder + "/z.txt"), "zed");
    EXPECT_EQ(ReadFileText(StdStr(urls[1].toLocalFile())), "top");

    std::unique_ptr<QMimeData> next(form->DragOutEntries());
    ASSERT_NE(next, nullptr);
    EXPECT_FALSE(fs::exists(folder));
    const std::string last = StdStr(next->urls()[1].toLocalFile());
    form->close();
    EXPECT_FALSE(fs::exists(last));
}

TEST_F(TreeCommandsTest, FilesDroppedOnAFolderOfTheTreeAreAddedThereAfterAConfirmation) {
    OpenArchive();
    WriteFile(temp / "dropped.txt", "dropped");
    QTreeWidgetItem* beta = FindNode(Tree(), "beta");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStr(temp / "dropped.txt"))});
    script.onConfirm = [](const std::string&) { return true; };
    ASSERT_TRUE(DragAndDrop(Tree()->viewport(), Tree()->visualItemRect(beta).center(), data));

    ASSERT_EQ(script.confirmed.size(), 1u);
    EXPECT_NE(script.confirmed[0].find("the folder \"beta\""), std::string::npos) << script.confirmed[0];
    EXPECT_EQ(ArchiveFiles(archive).at("beta\\dropped.txt"), "dropped");
    EXPECT_EQ(Caption(), AddedText(1, 0));
}

TEST_F(TreeCommandsTest, AnArchiveDroppedOntoTheWindowIsPutInTheBoxAndOpened) {
    CreateForm();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStr(archive))});
    ASSERT_TRUE(DragAndDrop(Tree()->viewport(), QPoint(5, 5), data));  // no archive open: the window takes it

    EXPECT_EQ(StdStr(Edit("Edit1")->text()), archive);
    EXPECT_EQ(Caption(), "O.K. The file successfully opened, contains 4 files.");
    EXPECT_EQ(Tree()->topLevelItemCount(), 3);
}

// What a drop sets off runs once the drop has ended; a window closed before then, which
// took its tree with it, asks nothing, reads nothing and leaves the archive as it was.
struct DropBeforeCloseCase {
    const char* what;
    bool archiveOpen;  // files dropped onto the archive's tree, else an archive onto the window
};

class DropJustBeforeClose : public TreeCommandsTest, public ::testing::WithParamInterface<DropBeforeCloseCase> {};

TEST_P(DropJustBeforeClose, DoesNothingOnceTheWindowHasClosed) {
    const DropBeforeCloseCase& c = GetParam();
    WriteFile(temp / "dropped.txt", "dropped");
    QMimeData data;
    QPoint point(5, 5);
    if (c.archiveOpen) {
        OpenArchive();
        point = Tree()->visualItemRect(FindNode(Tree(), "beta")).center();
        data.setUrls({QUrl::fromLocalFile(QStr(temp / "dropped.txt"))});
    } else {
        CreateForm();
        data.setUrls({QUrl::fromLocalFile(QStr(archive))});
    }
    script.onConfirm = [](const std::string&) { return true; };
    const TArrayOfByte before = ReadFileBytes(archive);
    ASSERT_TRUE(DragAndDropOnly(Tree()->viewport(), point, data));
    form->close();
    QApplication::processEvents();

    EXPECT_TRUE(script.confirmed.empty());
    EXPECT_EQ(ReadFileBytes(archive), before);
    EXPECT_EQ(Caption(), ExitingText);
}

INSTANTIATE_TEST_SUITE_P(Drops, DropJustBeforeClose,
                         ::testing::Values(DropBeforeCloseCase{"FilesOntoTheTree", true},
                                           DropBeforeCloseCase{"AnArchiveOntoTheWindow", false}),
                         [](const ::testing::TestParamInfo<DropBeforeCloseCase>& info) { return info.param.what; });

TEST_F(TreeCommandsTest, AnArchiveChangedByAnotherProgramIsReadAgainOnTheNextCommand) {
    OpenArchive();
    WriteTestArchive(archive, TestFolder{"", {}, {File("only.txt", "changed elsewhere")}});
    Button("Button_Info")->click();
    EXPECT_EQ(TreeOutline(Tree()), std::vector<std::string>{"only.txt"});

    fs::remove(archive);
    Button("Button_Info")->click();
    EXPECT_EQ(Tree()->topLevelItemCount(), 0);
    EXPECT_FALSE(Action("Action_AddFiles")->isEnabled());
}

TEST_F(TreeCommandsTest, WhileAnotherProgramHoldsTheArchiveTheCaptionSaysSoAndTheCommandWaits) {
    OpenArchive();
    const int held = ::open(archive.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    QTimer::singleShot(300, [held] { ::close(held); });
    script.onConfirm = [](const std::string&) { return true; };
    Select({"top.txt"});
    TakeCaptions();
    Action("Action_Remove")->trigger();

    const std::vector<std::string> shown = TakeCaptions();
    EXPECT_NE(std::find(shown.begin(), shown.end(), WaitingText), shown.end());
    EXPECT_EQ(Caption(), RemovedText(1, 0));
    EXPECT_EQ(ArchiveFiles(archive).count("top.txt"), 0u);
}

TEST_F(TreeCommandsTest, AWaitOfTwoSecondsNamesTheProcessThatHoldsTheArchiveInTheCaption) {
    OpenArchive();
    const int held = ::open(archive.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    QTimer::singleShot(2500, [held] { ::close(held); });
    script.onConfirm = [](const std::string&) { return true; };
    Select({"top.txt"});
    TakeCaptions();
    Action("Action_Remove")->trigger();

    // This test's process holds it, as the system names it.
    std::ifstream commandFile("/proc/self/comm");
    std::string command;
    std::getline(commandFile, command);
    const std::string holder = "process " + std::to_string(::getpid()) + " (" + command + ")";
    const std::vector<std::string> shown = TakeCaptions();
    const bool named = std::any_of(shown.begin(), shown.end(), [&](const std::string& caption) {
        return caption.starts_with("waiting for " + holder) && caption.ends_with(" to finish with the archive...");
    });
    EXPECT_TRUE(named) << ::testing::PrintToString(shown);
    EXPECT_EQ(Caption(), RemovedText(1, 0));
}

// Every command of the tree while another command runs: refused with the refusal text before
// it asks anything or touches the archive, the clipboard or a folder.
struct BusyCase {
    const char* command;  // a menu action's object name, or "DragOut" / "Drop"
    std::vector<std::string> selected;
};

void PrintTo(const BusyCase& c, std::ostream* out) { *out << c.command; }

class BusyRefusal : public TreeCommandsTest, public ::testing::WithParamInterface<BusyCase> {};

TEST_P(BusyRefusal, ATreeCommandIsRefusedWhileAnotherRunsBeforeItAsksOrChangesAnything) {
    const BusyCase& c = GetParam();
    fs::create_directory(temp / "tmp");
    const EnvironmentVariable tmpdir("TMPDIR", (temp / "tmp").c_str());
    OpenArchive();
    Select(c.selected);
    // Every dialog would say yes and name something real, so that only the refusal stops it.
    WriteFile(temp / "new.txt", "new");
    script.onOpen = [this](TOpenDialogState& state) {
        state.FileName = temp / "new.txt";
        state.FileNames = {state.FileName};
        return true;
    };
    AnswerFolder("chosen");
    script.onConfirm = [](const std::string&) { return true; };
    QApplication::clipboard()->setText(QStringLiteral("before"));
    const TArrayOfByte before = ReadFileBytes(archive);

    form->BusyFlag = true;  // as while another command runs
    const std::string command = c.command;
    if (command == "DragOut") {
        std::unique_ptr<QMimeData> data(form->DragOutEntries());
        EXPECT_EQ(data, nullptr);
    } else if (command == "Drop") {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStr(temp / "new.txt"))});
        DragAndDrop(Tree()->viewport(), Tree()->visualItemRect(FindNode(Tree(), "beta")).center(), data);
    } else {
        ASSERT_TRUE(Action(c.command)->isEnabled()) << command;
        Action(c.command)->trigger();
    }
    QApplication::processEvents();

    EXPECT_EQ(Caption(), RefusalText);
    EXPECT_TRUE(script.opened.empty());
    EXPECT_TRUE(script.folders.empty());
    EXPECT_TRUE(script.confirmed.empty());
    EXPECT_TRUE(script.errors.empty());
    EXPECT_EQ(ReadFileBytes(archive), before);
    EXPECT_EQ(StdStr(QApplication::clipboard()->text()), "before");
    EXPECT_TRUE(fs::is_empty(temp / "chosen"));
    EXPECT_TRUE(fs::is_empty(temp / "tmp"));
    EXPECT_TRUE(form->BusyFlag) << "the refused command ended the running one's busy state";
    form->BusyFlag = false;
}

INSTANTIATE_TEST_SUITE_P(Commands, BusyRefusal,
                         ::testing::Values(BusyCase{"Action_Extract", {"top.txt"}},
                                           BusyCase{"Action_Replace", {"top.txt"}},
                                           BusyCase{"Action_AddFiles", {"beta"}},
                                           BusyCase{"Action_AddFolder", {"beta"}},
                                           BusyCase{"Action_Remove", {"top.txt"}},
                                           BusyCase{"Action_CopyPath", {"top.txt"}},
                                           BusyCase{"DragOut", {"top.txt"}}, BusyCase{"Drop", {}}),
                         [](const ::testing::TestParamInfo<BusyCase>& info) {
                             std::string name = info.param.command;
                             if (name.rfind("Action_", 0) == 0) name = name.substr(7);
                             return name;
                         });

// Another user who may rename the names beside the drag folder (a $TMPDIR writable by others
// and not sticky) puts a link to the user's own folder in its place: the clean-up at the next
// drag and at close must leave that folder's files alone.
TEST_F(TreeCommandsTest, ADragFolderSwappedForALinkToTheUsersFolderIsLeftAloneAtTheNextDragAndAtClose) {
    fs::create_directory(temp / "tmp");
    const EnvironmentVariable tmpdir("TMPDIR", (temp / "tmp").c_str());
    WriteFile(temp / "home/notes.txt", "keep me");
    WriteFile(temp / "home/deep/more.txt", "and me");
    OpenArchive();
    Select({"alpha\\sub", "top.txt"});
    std::unique_ptr<QMimeData> data(form->DragOutEntries());
    ASSERT_NE(data, nullptr);
    const fs::path dragFolder = fs::path(StdStr(data->urls()[1].toLocalFile())).parent_path();
    fs::rename(dragFolder, temp / "moved-away");
    fs::create_directory_symlink(temp / "home", dragFolder);

    std::unique_ptr<QMimeData> next(form->DragOutEntries());
    ASSERT_NE(next, nullptr);
    const fs::path nextFolder = fs::path(StdStr(next->urls()[1].toLocalFile())).parent_path();
    fs::rename(nextFolder, temp / "moved-away-too");
    fs::create_directory_symlink(temp / "home", nextFolder);
    form->close();

    EXPECT_EQ(ReadFileText(temp / "home/notes.txt"), "keep me");
    EXPECT_EQ(ReadFileText(temp / "home/deep/more.txt"), "and me");
    EXPECT_TRUE(fs::is_symlink(dragFolder));
    EXPECT_TRUE(fs::is_symlink(nextFolder));
}

// Where the drag folder goes for each $TMPDIR: a folder that others may change (writable by
// them and not sticky) gives way to $XDG_RUNTIME_DIR; where neither will do, the drag is
// refused and the message says why of each.
struct DragParentCase {
    const char* what;
    fs::perms tmpdirMode;
    bool runtimeSet;
    const char* expected;  // "tmp", "runtime", or "" for a refused drag
};

void PrintTo(const DragParentCase& c, std::ostream* out) { *out << c.what; }

class DragParents : public TreeCommandsTest, public ::testing::WithParamInterface<DragParentCase> {};

TEST_P(DragParents, EntriesAreDraggedOutOnlyThroughAFolderNoOtherUserCanChange) {
    const DragParentCase& c = GetParam();
    fs::create_directory(temp / "tmp");
    fs::permissions(temp / "tmp", c.tmpdirMode);
    fs::create_directory(temp / "runtime");
    fs::permissions(temp / "runtime", fs::perms::owner_all);
    const EnvironmentVariable tmpdir("TMPDIR", (temp / "tmp").c_str());
    const EnvironmentVariable runtime("XDG_RUNTIME_DIR", c.runtimeSet ? (temp / "runtime").c_str() : nullptr);
    OpenArchive();
    Select({"top.txt"});
    std::unique_ptr<QMimeData> data(form->DragOutEntries());

    if (std::string(c.expected).empty()) {
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(Caption(), ErrorText);
        ASSERT_EQ(script.errors.size(), 1u);
        EXPECT_EQ(script.errors[0].text,
                  DragFolderRefusal + "\"" + temp / "tmp" +
                      "\" ($TMPDIR) may be changed by other users: it is writable by others and not sticky\n"
                      "$XDG_RUNTIME_DIR is not set");
    } else {
        ASSERT_NE(data, nullptr) << (script.errors.empty() ? "" : script.errors[0].text);
        const fs::path file = StdStr(data->urls()[0].toLocalFile());
        EXPECT_EQ(file.parent_path().parent_path(), fs::path(temp / c.expected)) << c.what;
        EXPECT_EQ(ReadFileText(file), "top");
    }
    if (std::string(c.expected) != "tmp") {
        EXPECT_TRUE(fs::is_empty(temp / "tmp")) << c.what;
    }
    form->close();
    EXPECT_TRUE(fs::is_empty(temp / "tmp"));
    EXPECT_TRUE(fs::is_empty(temp / "runtime"));
}

INSTANTIATE_TEST_SUITE_P(
    Tmpdirs, DragParents,
    ::testing::Values(DragParentCase{"private", fs::perms::owner_all, true, "tmp"},
                      DragParentCase{"shared and sticky", fs::perms::all | fs::perms::sticky_bit, true, "tmp"},
                      DragParentCase{"shared, not sticky", fs::perms::all, true, "runtime"},
                      DragParentCase{"writable by the group", fs::perms::owner_all | fs::perms::group_all, true,
                                     "runtime"},
                      DragParentCase{"shared, no runtime folder", fs::perms::all, false, ""}),
    [](const ::testing::TestParamInfo<DragParentCase>& info) { return "Case" + std::to_string(info.index); });

// A person drags with the mouse: pressing on a selected entry and moving away starts the drag
// out. With no folder for temporary files that will do, it ends in the refusal's message.
TEST_F(TreeCommandsTest, PressingOnASelectedEntryAndMovingTheMouseStartsTheDragOut) {
    fs::create_directory(temp / "tmp");
    fs::permissions(temp / "tmp", fs::perms::all);
    const EnvironmentVariable tmpdir("TMPDIR", (temp / "tmp").c_str());
    const EnvironmentVariable runtime("XDG_RUNTIME_DIR", nullptr);
    OpenArchive();
    Select({"top.txt"});
    QWidget* viewport = Tree()->viewport();
    const QPoint start = Tree()->visualItemRect(FindNode(Tree(), "top.txt")).center();
    const QPoint step(QApplication::startDragDistance() + 1, 0);
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, start);
    for (const QPoint& point : {start + step, start + 2 * step, start + 3 * step}) {
        QMouseEvent move(QEvent::MouseMove, point, viewport->mapToGlobal(point), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
    }
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, start + 3 * step);

    ASSERT_EQ(script.errors.size(), 1u) << "no drag started";
    EXPECT_EQ(script.errors[0].text.rfind(DragFolderRefusal, 0), 0u) << script.errors[0].text;
    EXPECT_EQ(Caption(), ErrorText);
}
