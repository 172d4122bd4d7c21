// The path boxes: what a drop puts in them, and what Enter does there and on the buttons.
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "form_fixture.h"
#include "helpers/archive_writer.h"
#include "ui/path_edit.h"
#include "ui/ui_texts.h"

namespace {

std::unique_ptr<QMimeData> DroppedFiles(const std::vector<QUrl>& urls) {
    auto data = std::make_unique<QMimeData>();
    data->setUrls(QList<QUrl>(urls.begin(), urls.end()));
    return data;
}

std::unique_ptr<QMimeData> DroppedText(const std::string& text) {
    auto data = std::make_unique<QMimeData>();
    data->setText(QStr(text));
    return data;
}

QUrl LocalUrl(const std::string& path) { return QUrl::fromLocalFile(QStr(path)); }

class PathBoxTest : public FormTest {
protected:
    // Drags data over the box and drops it in the box's middle, as a person would; false
    // when the box refuses the drag.
    bool Drop(QLineEdit* box, const QMimeData& data) {
        const QPoint middle = box->rect().center();
        QDragEnterEvent enter(middle, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
        if (!enter.isAccepted()) return false;
        QDragMoveEvent move(middle, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &move);
        QDropEvent drop(middle, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &drop);
        return drop.isAccepted();
    }

    std::string ArchiveWithThreeFiles() {
        const std::string path = temp / "data.pak";
        WriteTestArchive(path, TestFolder{"", {{"alpha", {}, {{"y.txt", Bytes("why")}}}},
                                          {{"top.txt", Bytes("top")}, {"two.txt", Bytes("2")}}});
        return path;
    }
};

}  // namespace

TEST_F(PathBoxTest, ADroppedFileReplacesTheArchiveBoxsText) {
    CreateForm();
    SetText("Edit1", temp / "mods/first.pak");
    ASSERT_TRUE(Drop(Edit("Edit1"), *DroppedFiles({LocalUrl(temp / "mods/second.pak")})));
    EXPECT_EQ(StdStr(Edit("Edit1")->text()), temp / "mods/second.pak");
}

TEST_F(PathBoxTest, ADroppedFolderReplacesTheDirectoryBoxsTextWithItsPath) {
    CreateForm();
    SetText("Edit2", temp / "old");
    ASSERT_TRUE(Drop(Edit("Edit2"), *DroppedFiles({QUrl::fromLocalFile(QStr(temp / "my mods") + "/")})));
    EXPECT_EQ(StdStr(Edit("Edit2")->text()), temp / "my mods");
}

TEST_F(PathBoxTest, DroppedTextReplacesTheTextToo) {
    CreateForm();
    SetText("Edit1", "mods/first.pak");
    Edit("Edit1")->setCursorPosition(4);
    ASSERT_TRUE(Drop(Edit("Edit1"), *DroppedText("mods/second.pak\n")));
    EXPECT_EQ(StdStr(Edit("Edit1")->text()), "mods/second.pak");
}

TEST_F(PathBoxTest, ADropWithoutALocalPathIsRefused) {
    CreateForm();
    SetText("Edit1", "kept.pak");
    EXPECT_FALSE(Drop(Edit("Edit1"), *DroppedFiles({QUrl("https://example.org/x.pak")})));
    EXPECT_EQ(StdStr(Edit("Edit1")->text()), "kept.pak");
}

TEST(DroppedPath, AFileUrlInDroppedTextIsReadAsItsPath) {
    QMimeData data;
    data.setText(QStringLiteral("file:///home/u/my%20mods/data.pak"));
    EXPECT_EQ(DroppedPath(data), QStringLiteral("/home/u/my mods/data.pak"));
}

TEST_F(PathBoxTest, EnterInTheArchiveBoxOpensTheArchiveWithoutTheDialog) {
    const std::string archive = ArchiveWithThreeFiles();
    CreateForm();
    SetText("Edit1", archive);
    TakeCaptions();
    QTest::keyClick(Edit("Edit1"), Qt::Key_Return);
    EXPECT_EQ(TakeCaptions(), (std::vector<std::string>{"please wait...",
                                                       "O.K. The file successfully opened, contains 3 files."}));
    EXPECT_EQ(TreeOutline(Tree()), (std::vector<std::string>{"alpha", "  y.txt", "top.txt", "two.txt"}));
    EXPECT_TRUE(script.opened.empty());
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(PathBoxTest, EnterInAnEmptyArchiveBoxDoesNothing) {
    CreateForm();
    TakeCaptions();
    QTest::keyClick(Edit("Edit1"), Qt::Key_Return);
    EXPECT_TRUE(TakeCaptions().empty());
    EXPECT_TRUE(script.opened.empty());
}

TEST_F(PathBoxTest, EnterInTheArchiveBoxWhileACommandRunsIsRefused) {
    const std::string archive = ArchiveWithThreeFiles();
    CreateForm();
    SetText("Edit1", archive);
    form->BusyFlag = true;
    QTest::keyClick(Edit("Edit1"), Qt::Key_Return);
    EXPECT_EQ(Caption(), RefusalText);
    EXPECT_EQ(Tree()->topLevelItemCount(), 0);
}

TEST_F(PathBoxTest, ReturnAndEnterPressTheFocusedButton) {
    CreateForm();
    QPushButton* info = Button("Button_Info");
    info->setFocus();
    QTest::keyClick(info, Qt::Key_Return);
    QTest::keyClick(info, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(script.abouts.size(), 2u);
}
