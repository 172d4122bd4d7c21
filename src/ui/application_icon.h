// The program's icon and its name in the desktop's eyes.
#pragma once

#include <QIcon>

// The icon drawn for the program (data/icons), every rendered size of it, compiled into the
// program so that an executable that was never installed shows it too.
QIcon ApplicationIcon();

// Gives every window the program's icon (title bar, task bar, switcher) and names the
// desktop entry the program belongs to, which Wayland compositors match windows with.
void PresentApplication();
