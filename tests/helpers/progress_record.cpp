#include "helpers/progress_record.h"

#include <memory>

namespace {

bool IsWritePhase(const std::string& text) {
    return text == "saving what the update changes..." || text == "moving the archive's contents..." ||
           text == "writing the new contents and the directory...";
}

ProgressProc Recorder(TReports& reports, bool withPhases) {
    auto previous = std::make_shared<std::string>();
    return [&reports, previous, withPhases](const TProgress& progress) {
        const std::string shown = progress.text != nullptr ? progress.text : "";
        const bool keepAlive = IsKeepAlive(progress, *previous);
        *previous = shown;
        if (keepAlive) return;
        if (!withPhases && IsWritePhase(shown)) return;
        reports.push_back({progress.done, progress.total, shown});
    };
}

}  // namespace

bool IsKeepAlive(const TProgress& progress, const std::string& previousText) {
    return !progress.HasPosition() && (progress.text != nullptr ? progress.text : "") == previousText;
}

ProgressProc RecordReports(TReports& reports) { return Recorder(reports, true); }

ProgressProc RecordFileReports(TReports& reports) { return Recorder(reports, false); }
