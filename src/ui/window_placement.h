// Where the window may be placed: a place read from the settings file can lie off every
// screen (saved on a larger screen, at another scale factor, or saved maximized), and is
// brought back onto one before the window shows.
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <vector>

class QWidget;

// outer moved, and cut to size where it is larger, so that it lies within available.
QRect FittedInto(const QRect& outer, const QRect& available);

// The area of screens (available geometries) that outer is on: the one holding most of it;
// primary when it is on none.
QRect AreaHolding(const QRect& outer, const std::vector<QRect>& screens, const QRect& primary);

// The available geometry of the screen outer is on, among the application's screens.
QRect ScreenAreaHolding(const QRect& outer);

// Where a window's client area lies within its frame while the window is in its normal
// state. Qt keeps a maximized window's normal client area, but the frame around it may
// differ from the maximized one (window managers drop the border of a maximized window).
class TNormalFrame : public QObject {
public:
    // Follows window, which owns the follower.
    explicit TNormalFrame(QWidget* window);

    // The client area's corner less the frame's, as last seen in the normal state.
    QPoint ClientOffset() const { return clientOffset_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPoint clientOffset_;
};
