// A one-line progress display on standard error for long commands: percentage (and count,
// for fewer than 65,535 items) and the current item, redrawn in place with
// "\r" a few times a second, and cleared when the command ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

#include "support/progress.h"

class TerminalProgressBar {
public:
    // A disabled bar draws nothing; its callback is empty.
    TerminalProgressBar(bool enabled, std::ostream& out);
    ~TerminalProgressBar();
    TerminalProgressBar(const TerminalProgressBar&) = delete;
    TerminalProgressBar& operator=(const TerminalProgressBar&) = delete;

    // The callback to hand to an engine operation; valid while this bar lives.
    ProgressProc Callback();
    // Erases the line drawn so far.
    void Clear();

private:
    void Update(const TProgress& progress);
    void Draw(const std::string& line);

    bool enabled_;
    std::ostream& out_;
    size_t drawnColumns_ = 0;
    bool drawnOnce_ = false;
    std::string lastText_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// The text of one progress line, at most width columns: the status of the report's counts,
// then as much of the end of text as fits (a path's last part is the telling one).
std::string ProgressLine(const TProgress& progress, const std::string& text, size_t width);
