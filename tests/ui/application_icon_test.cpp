// The icon the window shows, compiled into the program, and the desktop entry it names.
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <gtest/gtest.h>

#include "ui/application_icon.h"

namespace {

class IconSize : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(IconSize, IsRenderedInTheProgramAtItsOwnSize) {
    const int size = GetParam();
    const QIcon icon = ApplicationIcon();
    EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
    // The crate fills the middle of every size.
    const QImage image = icon.pixmap(QSize(size, size)).toImage();
    ASSERT_EQ(image.size(), QSize(size, size));
    EXPECT_GT(qAlpha(image.pixel(size / 2, size / 2)), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, IconSize, ::testing::Values(16, 22, 24, 32, 48, 64, 128, 256));

TEST(PresentApplication, GivesEveryWindowTheIconAndNamesTheInstalledDesktopEntry) {
    PresentApplication();
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    EXPECT_EQ(QApplication::windowIcon().availableSizes().size(), 8);
    const QString entry = QGuiApplication::desktopFileName() + ".desktop";
    EXPECT_TRUE(QFileInfo::exists(QStringLiteral(VPAK_DATA_DIR "/") + entry)) << entry.toStdString();
}
