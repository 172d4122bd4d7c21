// The program's names and the window's title as the window system shows them.
#pragma once

class QWidget;

// Names the program for the window system: on X11 the class part of WM_CLASS, which task
// bars group and label windows by. No display name is set: Qt would append it to every
// window title, and the main window's title is its status line.
void NameApplication();

// Keeps the title the window system shows for window exactly its windowTitle(), the empty
// title included (Qt shows the program's name in place of an empty title).
void KeepTitleExact(QWidget* window);
