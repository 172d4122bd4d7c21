#include "helpers/progress_record.h"

#include <memory>

namespace {

bool IsWritePhase(const std::string& text) {
    return text == "saving what the update changes..." || text == "moving the archive's contents..." ||
           text == "writing the new contents and the directory...";
}

ProgressProc Recorder(TReports& reports, bool withPhases) {
    auto previous = std::make_shared<std::string>();
    return [&reports, previous, withPhases](uint32_t position, const char* text) {
        const std::string shown = text != nullptr ? text : "";
        const bool keepAlive = IsKeepAlive(position, shown, *previous);
        *previous = shown;
        if (keepAlive) return;
        if (!withPhases && IsWritePhase(shown)) return;
        reports.emplace_back(position, shown);
    };
}

}  // namespace

bool IsKeepAlive(uint32_t position, const std::string& text, const std::string& previousText) {
    return position == 0 && text == previousText;
}

ProgressProc RecordReports(TReports& reports) { return Recorder(reports, true); }

ProgressProc RecordFileReports(TReports& reports) { return Recorder(reports, false); }
