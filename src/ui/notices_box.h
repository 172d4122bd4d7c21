// How the window tells what an operation had to say besides its result.
#pragma once

#include <cstddef>
#include <string>

#include "engine/notices.h"

// A box of thousands of lines helps no one: past this many, the box says how many more.
inline constexpr size_t kNoticesShown = 20;

// One notice as the window words it: the advice names the "XBOX" box, control bytes are
// escaped as the command line escapes them.
std::string NoticeLineForWindow(const TNotice& notice);

// The text of the box: one line per notice, at most kNoticesShown of them, then
// "... and N more.".
std::string NoticesBoxText(const TNotices& notices);
