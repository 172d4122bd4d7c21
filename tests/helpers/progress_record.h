// An operation's progress reports as tests compare them.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "support/progress.h"

struct TReport {
    int64_t done = 0;
    int64_t total = 0;
    std::string text;

    bool operator==(const TReport&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const TReport& report) {
    return out << "{" << report.done << "/" << report.total << ", \"" << report.text << "\"}";
}

using TReports = std::vector<TReport>;

// Records each report, leaving out what depends on the machine's speed rather than on the
// operation: the keep-alive reports that repeat the last text without a position while one
// step takes long.
ProgressProc RecordReports(TReports& reports);

// The same, leaving out too the phases of writing an update in place (saving, moving,
// writing), which one pass reports once and the file-by-file procedure once per file.
ProgressProc RecordFileReports(TReports& reports);

// True for a report that only keeps the caller alive: no position, and the text of the
// report before it.
bool IsKeepAlive(const TProgress& progress, const std::string& previousText);
