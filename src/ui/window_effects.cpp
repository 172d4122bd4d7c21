#include "ui/window_effects.h"

#include <QGuiApplication>
#include <QThread>
#include <QWidget>

#ifdef VPAK_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace {

// Qt queues X11 requests until its event loop runs; a fade processes no events, so each
// opacity change is pushed out here or none would be seen before the window closes.
void FlushWindowSystem() {
#if defined(VPAK_HAVE_XCB) && QT_CONFIG(xcb)
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // Other platforms (offscreen among them) may offer the interface without a connection.
    if (x11 != nullptr && x11->connection() != nullptr) xcb_flush(x11->connection());
#endif
}

}  // namespace

void WaitWithoutEvents(int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); }

void SetWindowOpacity(QWidget* window, int opacity) {
    window->setWindowOpacity(static_cast<double>(opacity) / kOpaque);
    FlushWindowSystem();
}

void FadeOutWindow(QWidget* window, const TWaitProc& wait) {
    for (int opacity = kOpaque; opacity > 0; opacity -= kFadeStep) {
        SetWindowOpacity(window, opacity);
        wait(kFadeStepMilliseconds);
    }
}
