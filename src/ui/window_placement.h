// Where the window may be placed: a place read from the settings file can lie off every
// screen (saved on a larger screen, at another scale factor, or saved maximized), and is
// brought back onto one before the window shows.
#pragma once

#include <QRect>
#include <vector>

// outer moved, and cut to size where it is larger, so that it lies within available.
QRect FittedInto(const QRect& outer, const QRect& available);

// The area of screens (available geometries) that outer is on: the one holding most of it;
// primary when it is on none.
QRect AreaHolding(const QRect& outer, const std::vector<QRect>& screens, const QRect& primary);

// The available geometry of the screen outer is on, among the application's screens.
QRect ScreenAreaHolding(const QRect& outer);
