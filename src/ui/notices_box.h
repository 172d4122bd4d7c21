// How the window tells what an operation had to say besides its result, and the error that
// ended one.
#pragma once

#include <cstddef>
#include <exception>
#include <string>

#include "engine/notices.h"

class QWidget;
class TDialogs;

// A box of thousands of lines helps no one: past this many, the box says how many more.
inline constexpr size_t kNoticesShown = 20;

// One notice as the window words it: the advice names the "XBOX" box, control bytes are
// escaped as the command line escapes them.
std::string NoticeLineForWindow(const TNotice& notice);

// The text of the box: one line per notice, at most kNoticesShown of them, then
// "... and N more.".
std::string NoticesBoxText(const TNotices& notices);

// A list of notices longer than a box holds is scrolled through in a details area, where it
// can be copied: at most this many lines of it, then "... and N more.".
inline constexpr size_t kNoticesListed = 10000;

// What the box says of several notices: the summary in the box, the whole list in its details.
struct TNoticesBoxParts {
    std::string summary;
    std::string details;  // "" for a single notice, which the summary is
};

// The first notice and how many more follow, as the summary; every notice, one a line, as the
// details.
TNoticesBoxParts NoticesBoxParts(const TNotices& notices);

// What the message box says of a raised error: its message, which names the file and what
// happened; running out of memory in words a user reads, not the allocator's name for it.
std::string RaisedErrorText(const std::exception& error);

// Shows what an operation told besides its result, once its caption is set: a false
// result's reasons as an error, what a true one left alone as a warning; nothing for none.
void ShowNotices(TDialogs& dialogs, QWidget* owner, bool ok, const TNotices& notices);
