// What the window system shows as the titles of the window and its dialogs: exactly the
// caption, which is the status line, read back from the X server as the title bar reads it.
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <thread>

#include "form_fixture.h"
#include "helpers/archive_writer.h"
#include "ui/ui_texts.h"
#include "x_display.h"

namespace {

constexpr auto kShowTimeout = std::chrono::seconds(5);

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A title as xprop shows it: quoted, and an empty one as nothing at all.
std::string Shown(const std::string& title) { return title.empty() ? std::string() : Quoted(title); }

// _NET_WM_NAME of window as xprop shows it, once it reads as expected (or after a wait).
std::string ShownTitle(QWidget* window, const std::string& expected) {
    const auto deadline = std::chrono::steady_clock::now() + kShowTimeout;
    std::string shown;
    while (true) {
        QApplication::processEvents();
        shown = TestXDisplay()->WindowProperty(window->winId(), "_NET_WM_NAME");
        if (shown == Shown(expected) || std::chrono::steady_clock::now() > deadline) return shown;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// The title shown for the message box that showDialog opens, which is then closed.
std::string ShownDialogTitle(const std::string& expected, const std::function<void()>& showDialog) {
    std::string shown = "no dialog";
    QTimer probe;
    probe.setInterval(50);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        probe.stop();
        shown = ShownTitle(box, expected);
        box->reject();
    });
    probe.start();
    showDialog();
    return shown;
}

class TitleBarTest : public FormTest {
protected:
    void SetUp() override {
        if (TestXDisplay() == nullptr) GTEST_SKIP() << XDisplayFailure();
    }
};

}  // namespace

TEST_F(TitleBarTest, StartsWithTheTitleLineAlone) {
    CreateForm();
    EXPECT_EQ(ShownTitle(form.get(), TitleLine), Shown(TitleLine));
}

TEST_F(TitleBarTest, ShowsACommandsOutcomeAlone) {
    const std::string archive = temp / "data.pak";
    WriteTestArchive(archive, TestFolder{"", {}, {{"one.txt", Bytes("1")}, {"two.txt", Bytes("2")}}});
    CreateForm();
    script.onOpen = [&archive](TOpenDialogState& state) {
        state.FileName = archive;
        return true;
    };
    Button("Button_selectPAK")->click();
    const std::string outcome = "O.K. The file successfully opened, contains 2 files.";
    ASSERT_EQ(Caption(), outcome);
    EXPECT_EQ(ShownTitle(form.get(), outcome), Shown(outcome));
}

TEST_F(TitleBarTest, AnEmptyCaptionLeavesTheTitleBarEmpty) {
    CreateForm();
    // Extract with both boxes empty clears the caption and does nothing else.
    Button("Button_XtractAll")->click();
    ASSERT_EQ(Caption(), "");
    EXPECT_EQ(ShownTitle(form.get(), ""), Shown(""));
}

TEST_F(TitleBarTest, WindowClassNamesTheProgramForTheTaskBar) {
    CreateForm();
    EXPECT_EQ(TestXDisplay()->WindowProperty(form->winId(), "WM_CLASS"),
              Quoted("vpak_ui_x11_tests") + ", " + Quoted(WindowClassName));
}

TEST_F(TitleBarTest, TheConfirmationShowsItsOwnTitleAlone) {
    CreateForm();
    TQtDialogs dialogs;
    EXPECT_EQ(ShownDialogTitle(ConfirmTitle, [&] { dialogs.Confirm(form.get(), "Overwrite?"); }),
              Shown(ConfirmTitle));
}

TEST_F(TitleBarTest, TheAboutBoxShowsItsOwnTitleAlone) {
    CreateForm();
    TQtDialogs dialogs;
    EXPECT_EQ(ShownDialogTitle(AboutTitle, [&] { dialogs.ShowAbout(form.get(), AboutTitle, "About"); }),
              Shown(AboutTitle));
}
