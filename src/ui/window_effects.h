// The window's opacity and its fade on close.
#pragma once

#include <functional>

class QWidget;

inline constexpr int kOpaque = 255;
inline constexpr int kFadeStep = 8;
inline constexpr int kFadeStepMilliseconds = 50;

// Blocks for the given time without processing any window event.
using TWaitProc = std::function<void(int milliseconds)>;
void WaitWithoutEvents(int milliseconds);

// Sets the window's constant opacity, 0 (transparent) to 255 (opaque), and hands the change
// to the window system at once.
void SetWindowOpacity(QWidget* window, int opacity);

// Fades the window: opacities 255, 247, ..., 7, one wait after each (32 steps, 1.6 s with
// the real wait). The window is neither repainted nor hidden meanwhile.
void FadeOutWindow(QWidget* window, const TWaitProc& wait = WaitWithoutEvents);
