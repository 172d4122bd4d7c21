// The Qt side of the dialogs: line breaks, filters, and the archive dialog itself.
#include <QFileDialog>
#include <QFileSystemModel>
#include <QSignalSpy>
#include <QTreeView>

#include "form_fixture.h"

TEST(DisplayLines, CarriageReturnsBecomeLineBreaks) {
    EXPECT_EQ(StdStr(DisplayLines("Warning!\rThe file\rReally?")), "Warning!\nThe file\nReally?");
    EXPECT_EQ(StdStr(DisplayLines("one\r\n\r\ntwo")), "one\n\ntwo");
    EXPECT_EQ(StdStr(DisplayLines("plain")), "plain");
    EXPECT_EQ(StdStr(DisplayLines("end\r")), "end\n");
}

TEST(QtNameFilters, DescriptionsKeepTheirPatternsAndStarDotStarMatchesEveryName) {
    const QStringList filters = QtNameFilters("Veldane .PAK file (*.PAK)|*.PAK|All files (*.*)|*.*");
    EXPECT_EQ(filters, (QStringList{"Veldane .PAK file (*.PAK)", "All files (*)"}));
}

TEST(QtNameFilters, DescriptionsWithoutPatternsGetThemAndSemicolonsSeparate) {
    EXPECT_EQ(QtNameFilters("Text|*.txt;*.loc"), QStringList{"Text (*.txt *.loc)"});
    EXPECT_TRUE(QtNameFilters("").isEmpty());
}

TEST(OpenFileDialog, ArchivePatternAlsoShowsLowerCaseNames) {
    TempDir temp;
    WriteFile(temp / "lower.pak", "");
    WriteFile(temp / "UPPER.PAK", "");
    WriteFile(temp / "other.txt", "");
    TOpenDialogState state{"", "Veldane .PAK file (*.PAK)|*.PAK|All files (*.*)|*.*", temp / "UPPER.PAK", true, false, {}};
    const std::unique_ptr<QFileDialog> dialog = CreateOpenFileDialog(nullptr, state);
    auto* model = dialog->findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
    dialog->show();
    if (loaded.isEmpty()) {
        ASSERT_TRUE(loaded.wait());
    }
    QApplication::processEvents();

    const QModelIndex folder = model->index(QStr(temp.Path()));
    std::vector<std::string> shown;
    for (int row = 0; row < model->rowCount(folder); ++row) shown.push_back(StdStr(model->index(row, 0, folder).data().toString()));
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (std::vector<std::string>{"UPPER.PAK", "lower.pak"}));
    EXPECT_EQ(dialog->viewMode(), QFileDialog::Detail);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
    EXPECT_EQ(StdStr(dialog->selectedNameFilter()), "Veldane .PAK file (*.PAK)");
    dialog->hide();
}

TEST(OpenFileDialog, ManyFilesMayBeChosenOnlyWhereAskedForAndEachMustExist) {
    TOpenDialogState state{"Pick some:", "All files (*.*)|*.*", "", false, true, {}};
    EXPECT_EQ(CreateOpenFileDialog(nullptr, state)->fileMode(), QFileDialog::ExistingFiles);
    state.MultiSelect = false;
    EXPECT_EQ(CreateOpenFileDialog(nullptr, state)->fileMode(), QFileDialog::AnyFile);
}

TEST(OpenFileDialog, WithoutDetailsTheListViewIsUsedAndTheTitleIsSet) {
    TOpenDialogState state{"Pick one:", "All files (*.*)|*.*", "", false, false, {}};
    const std::unique_ptr<QFileDialog> dialog = CreateOpenFileDialog(nullptr, state);
    EXPECT_EQ(dialog->viewMode(), QFileDialog::List);
    EXPECT_EQ(StdStr(dialog->windowTitle()), "Pick one:");
    EXPECT_EQ(dialog->nameFilters(), QStringList{"All files (*)"});
}
