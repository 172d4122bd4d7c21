// What assistive technology (a screen reader, over AT-SPI) reads of the window: every control
// named for what it does, the labels tied to their boxes, and the program by its own name.
#pragma once

#include <string>

class QWidget;

// The program's name as assistive technology lists it among the running applications. The
// toolkit's application name is the window class (see NameApplication), which names no
// program a user knows.
inline const std::string AccessibleProgramName = "vpak-gui";

// Names the program for assistive technology; once, after the application object exists.
void NameProgramForAssistiveTechnology();

// Names and describes the controls of the window (found by their object names), and makes
// each label the buddy of its box, once they are created and their texts set.
void NameControlsForAssistiveTechnology(QWidget& window);
