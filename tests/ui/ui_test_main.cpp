// The window's tests need one QApplication; the offscreen platform needs no display, also
// when the test list is read at build time. Its screens are given here: the window's design
// place fits the first, and a second stands to its right, so that keeping the window on a
// screen can be seen.
#include <QApplication>
#include <gtest/gtest.h>

#include "helpers/temp_dir.h"

namespace {

const std::string kScreens = R"({"screens": [
  {"name": "primary", "x": 0, "y": 0, "width": 1280, "height": 1024, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},
  {"name": "right", "x": 1280, "y": 0, "width": 1024, "height": 768, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}
]})";

}  // namespace

int main(int argc, char** argv) {
    const TempDir configuration;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        const std::string screens = configuration / "screens.json";
        WriteFile(screens, kScreens);
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString("offscreen:configfile=" + screens));
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
