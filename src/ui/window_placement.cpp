#include "ui/window_placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

QRect FittedInto(const QRect& outer, const QRect& available) {
    const int width = std::min(outer.width(), available.width());
    const int height = std::min(outer.height(), available.height());
    const int left = std::clamp(outer.left(), available.left(), available.left() + available.width() - width);
    const int top = std::clamp(outer.top(), available.top(), available.top() + available.height() - height);
    return QRect(left, top, width, height);
}

QRect AreaHolding(const QRect& outer, const std::vector<QRect>& screens, const QRect& primary) {
    QRect best = primary;
    qint64 bestShare = 0;
    for (const QRect& screen : screens) {
        const QRect common = screen.intersected(outer);
        const qint64 share = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (share > bestShare) {
            best = screen;
            bestShare = share;
        }
    }
    return best;
}

QRect ScreenAreaHolding(const QRect& outer) {
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens.push_back(screen->availableGeometry());
    const QScreen* primary = QGuiApplication::primaryScreen();
    return AreaHolding(outer, screens, primary != nullptr ? primary->availableGeometry() : outer);
}

TNormalFrame::TNormalFrame(QWidget* window) : QObject(window) {
    clientOffset_ = window->geometry().topLeft() - window->pos();
    window->installEventFilter(this);
}

bool TNormalFrame::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show) {
        const auto* window = static_cast<const QWidget*>(watched);
        const Qt::WindowStates other = Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized;
        if ((window->windowState() & other) == 0) clientOffset_ = window->geometry().topLeft() - window->pos();
    }
    return false;
}
