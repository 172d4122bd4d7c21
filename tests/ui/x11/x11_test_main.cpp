// The window's tests on a real X server: the application connects to a private Xvfb display
// with openbox, started once the tests run (listing them needs no display). Without an X
// server every test skips and says why.
#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

#include "ui/window_title.h"
#include "x_display.h"

namespace {

std::unique_ptr<TXDisplay> display;
std::string failure;

class TXEnvironment : public ::testing::Environment {
public:
    TXEnvironment(int& argc, char** argv) : argc_(argc), argv_(argv) {}

    void SetUp() override {
        display = std::make_unique<TXDisplay>();
        if (!display->Start()) {
            failure = "no X server for this test: " + display->Failure();
            display.reset();
            return;
        }
        qputenv("DISPLAY", QByteArray::fromStdString(display->Name()));
        qputenv("QT_QPA_PLATFORM", "xcb");
        application_ = std::make_unique<QApplication>(argc_, argv_);
        NameApplication();
    }

    void TearDown() override {
        application_.reset();
        display.reset();
    }

private:
    int& argc_;
    char** argv_;
    std::unique_ptr<QApplication> application_;
};

}  // namespace

const TXDisplay* TestXDisplay() { return display.get(); }
const std::string& XDisplayFailure() { return failure; }

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new TXEnvironment(argc, argv));
    return RUN_ALL_TESTS();
}
