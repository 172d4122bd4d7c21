// An operation's progress reports as tests compare them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/progress.h"

using TReports = std::vector<std::pair<uint32_t, std::string>>;

// Records each report as (position, text), leaving out what depends on the machine's speed
// rather than on the operation: the keep-alive reports that repeat the last text without a
// position while one step takes long.
ProgressProc RecordReports(TReports& reports);

// The same, leaving out too the phases of writing an update in place (saving, moving,
// writing), which one pass reports once and the file-by-file procedure once per file.
ProgressProc RecordFileReports(TReports& reports);

// True for a report that only keeps the caller alive: no position, and the text of the
// report before it.
bool IsKeepAlive(uint32_t position, const std::string& text, const std::string& previousText);
