// Keeping the window on a screen when it opens, and the place it saves when it closes. The
// test platform's screens are 1280 x 1024 at (0, 0) and 1024 x 768 to its right.
#include <QScreen>

#include "form_fixture.h"
#include "ui/window_placement.h"

namespace {

const QRect kPrimary(0, 0, 1280, 1024);
const QRect kRight(1280, 0, 1024, 768);

std::string Settings(int left, int top, int width, int height) {
    return "[MainWindow]\nLeft=" + std::to_string(left) + "\nTop=" + std::to_string(top) + "\nWidth=" +
           std::to_string(width) + "\nHeight=" + std::to_string(height) + "\n" + kNoFadeSettings;
}

class PlacementTest : public FormTest {
protected:
    QRect Outer() const { return QRect(form->x(), form->y(), form->OuterWidth(), form->OuterHeight()); }
};

}  // namespace

TEST(FittedInto, APlacePastAnEdgeMovesBackInside) {
    EXPECT_EQ(FittedInto(QRect(1100, 900, 520, 364), kPrimary), QRect(760, 660, 520, 364));
    EXPECT_EQ(FittedInto(QRect(-300, -50, 520, 364), kPrimary), QRect(0, 0, 520, 364));
    EXPECT_EQ(FittedInto(QRect(5000, 10, 520, 364), kRight), QRect(1784, 10, 520, 364));
}

TEST(FittedInto, APlaceSavedAtScaleOneFitsTheHalvedScreenOfScaleTwo) {
    // 1280 x 1024 pixels at a scale factor of 2 give a screen of 640 x 512.
    EXPECT_EQ(FittedInto(QRect(510, 397, 520, 364), QRect(0, 0, 640, 512)), QRect(120, 148, 520, 364));
}

TEST(FittedInto, ASizeLargerThanTheAreaIsCutToIt) {
    EXPECT_EQ(FittedInto(QRect(-4, -4, 2000, 1100), kPrimary), kPrimary);
}

TEST(AreaHolding, TheScreenHoldingMostOfThePlaceIsChosen) {
    EXPECT_EQ(AreaHolding(QRect(1200, 100, 520, 364), {kPrimary, kRight}, kPrimary), kRight);
    EXPECT_EQ(AreaHolding(QRect(1000, 100, 520, 364), {kPrimary, kRight}, kPrimary), kPrimary);
}

TEST(AreaHolding, APlaceOnNoScreenGoesToThePrimary) {
    EXPECT_EQ(AreaHolding(QRect(9000, 9000, 520, 364), {kRight, kPrimary}, kPrimary), kPrimary);
}

TEST_F(PlacementTest, APlaceOffEveryScreenOpensOnThePrimaryScreen) {
    CreateForm(Settings(5000, 4000, 520, 364));
    EXPECT_EQ(Outer(), QRect(1280 - 520, 1024 - 364, 520, 364));
}

TEST_F(PlacementTest, APlaceHalfOffTheSecondScreenOpensWhollyOnIt) {
    CreateForm(Settings(2000, 600, 520, 364));
    EXPECT_EQ(Outer(), QRect(1280 + 1024 - 520, 768 - 364, 520, 364));
}

TEST_F(PlacementTest, APlaceOnAScreenIsKept) {
    CreateForm(Settings(1400, 100, 600, 400));
    EXPECT_EQ(Outer(), QRect(1400, 100, 600, 400));
}

TEST_F(PlacementTest, ClosingMaximizedSavesTheNormalPlaceAndSize) {
    CreateForm();
    form->move(33, 44);
    form->resize(600, 400);
    QApplication::processEvents();
    form->showMaximized();
    QApplication::processEvents();
    ASSERT_TRUE(form->isMaximized());
    ASSERT_NE(form->size(), QSize(600, 400));
    form->close();

    const std::string text = ReadFileText(SettingsPath());
    for (const char* line : {"Left=33\n", "Top=44\n", "Width=608\n", "Height=429\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
}

TEST_F(PlacementTest, ClosingInFullScreenSavesWhereTheNormalFrameWas) {
    // The test platform draws a frame around a normal window and none around a full-screen
    // one, as window managers may drop the border of a maximized window.
    CreateForm();
    form->move(33, 44);
    QApplication::processEvents();
    ASSERT_NE(form->geometry().topLeft(), form->pos());
    form->showFullScreen();
    QApplication::processEvents();
    ASSERT_EQ(form->geometry().topLeft(), form->pos());
    form->close();

    const std::string text = ReadFileText(SettingsPath());
    for (const char* line : {"Left=33\n", "Top=44\n", "Width=520\n", "Height=364\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
}
