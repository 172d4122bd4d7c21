// The window's controls: names, texts, hints, places, anchoring, tab order and start-up state.
#include <QLabel>
#include <QWindow>

#include "form_fixture.h"
#include "ui/ui_texts.h"

namespace {

struct TExpectedControl {
    const char* name;
    QRect design;  // at the design client width of 512
    std::string text;
    std::string hint;
};

const std::vector<TExpectedControl> kButtons = {
    {"Button_selectPAK", QRect(344, 8, 17, 20), "...", "Select the .PAK file to Extract/Make/Update..."},
    {"Button_selDIR", QRect(344, 40, 17, 20), "...", "Select the Target/Source directory..."},
    {"Button_Exit", QRect(440, 136, 65, 21), "E&xit", "End of the hard work."},
    {"Button_XtractAll", QRect(440, 8, 65, 21), "&Extract", "Extract the selected .PAK file to the given directory."},
    {"Button_MakeArchive", QRect(440, 104, 65, 21), "&Make .PAK",
     "Make .PAK file from the files of the selected directory."},
    {"Button_Info", QRect(368, 72, 65, 21), "?", "About..."},
    {"Button_update1", QRect(440, 40, 65, 21), "&Replace1", "Replace only one file in the selected archive."},
    {"Button_updateX", QRect(440, 72, 65, 21), "Re&placeX",
     "Replace the selected archive with the contents of the given directory."},
};

}  // namespace

TEST_F(FormTest, ButtonsHaveTheirNamesTextsHintsAndDesignPlaces) {
    CreateForm();
    ASSERT_EQ(form->width(), 512);
    for (const TExpectedControl& expected : kButtons) {
        QPushButton* button = Button(expected.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(StdStr(button->text()), expected.text) << expected.name;
        EXPECT_EQ(StdStr(button->toolTip()), expected.hint) << expected.name;
        EXPECT_EQ(button->geometry(), expected.design) << expected.name;
        EXPECT_TRUE(button->isFlat()) << expected.name;
    }
}

TEST_F(FormTest, LabelsEditsBoxesAndBarSitWhereDesigned) {
    CreateForm();
    EXPECT_EQ(StdStr(Find<QLabel>("Label1")->text()), ".PAK file:");
    EXPECT_EQ(StdStr(Find<QLabel>("Label2")->text()), "Directory:");
    EXPECT_EQ(Find<QLabel>("Label1")->pos(), QPoint(8, 10));
    EXPECT_EQ(Find<QLabel>("Label2")->pos(), QPoint(8, 42));
    EXPECT_EQ(Edit("Edit1")->geometry(), QRect(80, 8, 257, 21));
    EXPECT_EQ(Edit("Edit2")->geometry(), QRect(80, 40, 257, 21));
    EXPECT_EQ(Bar()->geometry(), QRect(8, 74, 353, 17));
    EXPECT_EQ(Bar()->minimum(), 0);
    EXPECT_EQ(Bar()->maximum(), 100);
    EXPECT_EQ(Box("CheckBox_hash")->geometry(), QRect(368, 8, 65, 17));
    EXPECT_EQ(Box("CheckBox_XBOX")->geometry(), QRect(368, 40, 57, 17));
    EXPECT_EQ(StdStr(Box("CheckBox_hash")->text()), "Hash");
    EXPECT_EQ(StdStr(Box("CheckBox_XBOX")->text()), "XBOX");
    EXPECT_EQ(StdStr(Box("CheckBox_XBOX")->toolTip()), "XBOX360 version");
}

TEST_F(FormTest, HashHintShowsItsFourLines) {
    CreateForm();
    EXPECT_EQ(StdStr(Box("CheckBox_hash")->toolTip()),
              "Append a Hash checksum to the filenames during Extraction!\n"
              "IMPORTANT:\n"
              "Check this box only if you want to use the \"Replace\" function!\n"
              "Don't check, if you want to use the \"Make\" function!");
}

TEST_F(FormTest, ClientAreaStartsAtTheMinimumHeightWithTheTreeStretched) {
    CreateForm();
    EXPECT_EQ(form->size(), QSize(512, 335));
    EXPECT_EQ(form->pos(), QPoint(510, 397));
    ASSERT_NE(Tree(), nullptr);
    // Right edge 87 inside the client area, bottom edge 44 above it.
    EXPECT_EQ(Tree()->geometry(), QRect(8, 103, 512 - 87 - 8, 188));
}

TEST_F(FormTest, RightAnchoredControlsKeepTheirDistanceToTheRightEdge) {
    CreateForm();
    form->resize(700, 500);
    QApplication::processEvents();
    const int grow = 700 - 512;
    EXPECT_EQ(Button("Button_XtractAll")->geometry(), QRect(440 + grow, 8, 65, 21));
    EXPECT_EQ(Button("Button_selDIR")->geometry(), QRect(344 + grow, 40, 17, 20));
    EXPECT_EQ(Box("CheckBox_XBOX")->geometry(), QRect(368 + grow, 40, 57, 17));
    EXPECT_EQ(Edit("Edit1")->geometry(), QRect(80, 8, 257 + grow, 21));
    EXPECT_EQ(Bar()->geometry(), QRect(8, 74, 353 + grow, 17));
    EXPECT_EQ(Find<QLabel>("Label1")->pos(), QPoint(8, 10));
    EXPECT_EQ(Tree()->geometry(), QRect(8, 103, 700 - 87 - 8, 500 - 44 - 103));
}

TEST_F(FormTest, ClientAreaNeverShrinksBelow450By335) {
    CreateForm();
    form->resize(300, 200);
    QApplication::processEvents();
    EXPECT_EQ(form->size(), QSize(450, 335));
    form->resize(460, 100);
    QApplication::processEvents();
    EXPECT_EQ(form->size(), QSize(460, 335));
}

TEST_F(FormTest, TabOrderFollowsTheDesign) {
    CreateForm();
    const std::vector<std::string> expected = {"Edit1",          "Edit2",         "Button_selectPAK", "Button_selDIR",
                                               "Button_Exit",    "Button_XtractAll", "Button_MakeArchive",
                                               "Button_Info",    "ProgressBar1",  "Button_update1",
                                               "CheckBox_hash",  "Button_updateX", "CheckBox_XBOX", "ContentsTree"};
    std::vector<std::string> order;
    QWidget* widget = Edit("Edit1");
    for (size_t guard = 0; guard < 200 && order.size() < expected.size(); ++guard) {
        const std::string name = StdStr(widget->objectName());
        if (std::find(expected.begin(), expected.end(), name) != expected.end()) order.push_back(name);
        widget = widget->nextInFocusChain();
    }
    EXPECT_EQ(order, expected);
}

TEST_F(FormTest, StartsWithTheTitleLineFullyOpaqueAndMaximizable) {
    CreateForm();
    EXPECT_EQ(Caption(), "Veldane .PAK Maker / Extractor / Updater v0.55");
    EXPECT_DOUBLE_EQ(form->windowOpacity(), 1.0);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form->BusyFlag);
}

TEST_F(FormTest, ContentsTreeIsReadOnlyWithLinesAndButtons) {
    CreateForm();
    ASSERT_NE(Tree(), nullptr);
    EXPECT_EQ(Tree()->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(Tree()->rootIsDecorated());
    EXPECT_FALSE(Tree()->isSortingEnabled());
    EXPECT_EQ(Tree()->topLevelItemCount(), 0);
}

TEST_F(FormTest, TheTreesFrameShowsOnAllFourSides) {
    CreateForm();
    const QImage image = Tree()->grab().toImage();
    const QString inside = image.pixelColor(image.rect().center()).name();
    const QString around = form->palette().color(QPalette::Window).name();
    const int w = image.width();
    const int h = image.height();
    for (const QPoint& edge : {QPoint(0, h / 2), QPoint(w - 1, h / 2), QPoint(w / 2, 0), QPoint(w / 2, h - 1)}) {
        const QString shown = image.pixelColor(edge).name();
        EXPECT_NE(shown, inside) << edge.x() << "," << edge.y();
        EXPECT_NE(shown, around) << edge.x() << "," << edge.y();
    }
}
