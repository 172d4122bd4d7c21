// The window's look and feel: flat buttons, dragging by the body, the author line, opacity.
#include <QLabel>
#include <QTest>

#include "form_fixture.h"
#include "ui/flat_button.h"
#include "ui/window_effects.h"

namespace {

QPoint CentreOf(const QWidget* w) { return w->geometry().center(); }

}  // namespace

TEST_F(FormTest, AllEightPushButtonsAreTheWindowsOwnFlatButtons) {
    CreateForm();
    const QList<QPushButton*> buttons = form->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
    EXPECT_EQ(buttons.size(), 8);
    for (QPushButton* button : buttons) {
        EXPECT_NE(qobject_cast<TFlatButton*>(button), nullptr) << StdStr(button->objectName());
        EXPECT_TRUE(button->isFlat());
    }
}

TEST_F(FormTest, BodyIsTheSurfaceBetweenControlsAndTheLabels) {
    CreateForm();
    EXPECT_TRUE(form->IsBodyPoint(QPoint(4, 4)));
    EXPECT_TRUE(form->IsBodyPoint(QPoint(200, 310)));  // below the tree
    EXPECT_TRUE(form->IsBodyPoint(CentreOf(Find<QLabel>("Label1"))));
    EXPECT_FALSE(form->IsBodyPoint(CentreOf(Button("Button_Exit"))));
    EXPECT_FALSE(form->IsBodyPoint(CentreOf(Edit("Edit1"))));
    EXPECT_FALSE(form->IsBodyPoint(CentreOf(Tree())));
    EXPECT_FALSE(form->IsBodyPoint(CentreOf(Bar())));
    EXPECT_FALSE(form->IsBodyPoint(QPoint(-1, 5)));
}

TEST_F(FormTest, DoubleClickOnTheBodyShowsTheAuthorLine) {
    CreateForm();
    QTest::mouseClick(form.get(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 310));
    EXPECT_EQ(Caption(), "Veldane .PAK Maker / Extractor / Updater v0.55");
    QTest::mouseDClick(form.get(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 310));
    EXPECT_EQ(Caption(), "This program was created by The Zorvel");
}

TEST_F(FormTest, DoubleClickOnAControlLeavesTheCaption) {
    CreateForm();
    QTest::mouseDClick(Tree()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(Caption(), "Veldane .PAK Maker / Extractor / Updater v0.55");
}

TEST(WindowOpacity, SetWindowOpacityMapsZeroTo255OntoTheWindow) {
    QWidget window;
    window.show();
    SetWindowOpacity(&window, 255);
    EXPECT_DOUBLE_EQ(window.windowHandle()->opacity(), 1.0);
    SetWindowOpacity(&window, 51);
    EXPECT_DOUBLE_EQ(window.windowHandle()->opacity(), 0.2);
}

TEST(WindowOpacity, FadeTakes32WaitsOf50MillisecondsAndLeavesTheWindowShown) {
    QWidget window;
    window.show();
    std::vector<int> waits;
    FadeOutWindow(&window, [&waits](int ms) { waits.push_back(ms); });
    EXPECT_EQ(waits, std::vector<int>(32, 50));
    EXPECT_EQ(qRound(window.windowHandle()->opacity() * 255), 7);
    EXPECT_TRUE(window.isVisible());
}
