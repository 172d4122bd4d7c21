// Entries dragged out of the contents tree with the real mouse, as a person drags them to a
// file manager: xdotool presses on an entry, moves the pointer onto a window of the test's
// own that takes dropped files, and lets go there.
#include <QDropEvent>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <chrono>
#include <fstream>
#include <sstream>

#include "form_fixture.h"
#include "helpers/archive_writer.h"
#include "x_display.h"

namespace {

constexpr auto kDropTimeout = std::chrono::seconds(15);

// A top-level window that takes dropped files, as a file manager's folder does, and keeps
// their addresses.
class TDropTarget : public QWidget {
public:
    TDropTarget() {
        setAcceptDrops(true);
        setWindowTitle(QStringLiteral("drop target"));
    }
    QList<QUrl> dropped;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (event->mimeData()->hasUrls()) event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (event->mimeData()->hasUrls()) event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override {
        dropped = event->mimeData()->urls();
        event->acceptProposedAction();
    }
};

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

QString Number(int value) { return QString::number(value); }

class DragOutTest : public FormTest {
protected:
    void SetUp() override {
        if (TestXDisplay() == nullptr) GTEST_SKIP() << XDisplayFailure();
    }
};

}  // namespace

TEST_F(DragOutTest, AnEntryDraggedWithTheMouseOntoAnotherWindowDropsItsExtractedFileThere) {
    const std::string archive = temp / "data.pak";
    WriteTestArchive(archive, TestFolder{"", {{"docs", {}, {{"note.txt", Bytes("the note")}}}},
                                         {{"top.txt", Bytes("top of the archive")}}});
    CreateForm();
    form->move(40, 40);
    form->OpenGivenArchive(archive);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    TDropTarget target;
    target.setGeometry(700, 200, 240, 240);
    target.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));
    QApplication::processEvents();

    QTreeWidgetItem* node = nullptr;
    for (int i = 0; i < Tree()->topLevelItemCount(); ++i)
        if (Tree()->topLevelItem(i)->text(0) == QStringLiteral("top.txt")) node = Tree()->topLevelItem(i);
    ASSERT_NE(node, nullptr);
    const QPoint from = Tree()->viewport()->mapToGlobal(Tree()->visualItemRect(node).center());
    const QPoint to = target.mapToGlobal(target.rect().center());

    // Nothing is selected before the press: the press itself picks the entry to drag.
    QProcess mouse;
    mouse.start(QStringLiteral("xdotool"),
                {"mousemove", Number(from.x()), Number(from.y()), "sleep", "0.3", "mousedown", "1", "sleep", "0.2",
                 "mousemove", Number(from.x() + 12), Number(from.y() + 4), "sleep", "0.2", "mousemove",
                 Number(from.x() + 40), Number(from.y() + 10), "sleep", "0.5", "mousemove", Number(to.x() - 10),
                 Number(to.y()), "sleep", "0.3", "mousemove", Number(to.x()), Number(to.y()), "sleep", "0.5",
                 "mouseup", "1"});
    ASSERT_TRUE(mouse.waitForStarted()) << "xdotool did not start";
    const auto deadline = std::chrono::steady_clock::now() + kDropTimeout;
    while (target.dropped.isEmpty() && std::chrono::steady_clock::now() < deadline) QTest::qWait(50);
    mouse.waitForFinished();

    ASSERT_EQ(target.dropped.size(), 1) << "nothing was dropped; caption: " << Caption();
    const std::string dropped = StdStr(target.dropped.front().toLocalFile());
    EXPECT_EQ(dropped.substr(dropped.rfind('/') + 1), "top.txt");
    EXPECT_EQ(FileText(dropped), "top of the archive");
}
