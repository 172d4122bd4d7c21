#include "ui/window_title.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include "ui/text_bridge.h"
#include "ui/ui_texts.h"

#ifdef VPAK_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace {

#if defined(VPAK_HAVE_XCB) && QT_CONFIG(xcb)
xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    free(reply);
    return atom;
}

// _NET_WM_NAME, the title window managers show, written as the UTF-8 of the title itself.
void WriteNetWmName(QWidget* window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return;
    const QWindow* handle = window->windowHandle();
    if (handle == nullptr || handle->handle() == nullptr) return;  // no X window yet

    // A caption changes with every progress report: the atoms are looked up once per
    // connection, not once per change.
    static xcb_connection_t* atomsOf = nullptr;
    static xcb_atom_t netWmName = XCB_ATOM_NONE;
    static xcb_atom_t utf8String = XCB_ATOM_NONE;
    xcb_connection_t* connection = x11->connection();
    if (atomsOf != connection) {
        netWmName = InternAtom(connection, "_NET_WM_NAME");
        utf8String = InternAtom(connection, "UTF8_STRING");
        atomsOf = connection;
    }
    if (netWmName == XCB_ATOM_NONE || utf8String == XCB_ATOM_NONE) return;

    const QByteArray title = window->windowTitle().toUtf8();
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(handle->winId()), netWmName,
                        utf8String, 8, static_cast<uint32_t>(title.size()), title.constData());
    xcb_flush(connection);
}
#else
void WriteNetWmName(QWidget*) {}
#endif

// Qt writes the title when the window is created and whenever it changes; this rewrites it
// right after each time.
class TExactTitle : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::WindowTitleChange:
        case QEvent::WinIdChange:
        case QEvent::Show:
            WriteNetWmName(static_cast<QWidget*>(watched));
            break;
        default:
            break;
        }
        return false;
    }
};

}  // namespace

void NameApplication() { QApplication::setApplicationName(QStr(WindowClassName)); }

void KeepTitleExact(QWidget* window) { window->installEventFilter(new TExactTitle(window)); }
