#include "engine/updating/internal/update_pass.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "engine/updating/internal/forward_pass.h"
#include "support/host_file.h"
#include "support/progress.h"

namespace {

// The phases of writing a pass, as the caller sees them: the bar goes through them once.
constexpr int64_t kWritePhases = 3;
constexpr int64_t kSavingPhase = 1;
constexpr int64_t kMovingPhase = 2;
constexpr int64_t kWritingPhase = 3;
constexpr const char* kSavingText = "saving what the update changes...";
constexpr const char* kMovingText = "moving the archive's contents...";
constexpr const char* kWritingText = "writing the new contents and the directory...";

std::vector<TByteRange> MergedInside(std::vector<TByteRange> ranges, int64_t size) {
    std::sort(ranges.begin(), ranges.end(), [](const TByteRange& a, const TByteRange& b) { return a.from < b.from; });
    std::vector<TByteRange> merged;
    for (TByteRange range : ranges) {
        range.to = std::min(range.to, size);
        if (range.from >= range.to) continue;
        if (!merged.empty() && range.from <= merged.back().to) merged.back().to = std::max(merged.back().to, range.to);
        else merged.push_back(range);
    }
    return merged;
}

void ApplyPass(HostFile& archive, const TPassPlan& plan) {
    ReportToScope({kMovingPhase, kWritePhases, kMovingText});
    MoveRanges(archive, plan.moves);
    ReportToScope({kWritingPhase, kWritePhases, kWritingText});
    WriteStreamsAndHead(archive, plan.streams, plan.head, plan.finalSize);
}

void RunForwardPass(HostFile& archive, const TPassPlan& plan, TArchiveUpdate& update) {
    // Parked streams are on the disk already; the plan takes room for the others.
    int64_t planBytes = static_cast<int64_t>(plan.head.size());
    for (const auto& [position, stream] : plan.streams)
        if (!stream.IsParked()) planBytes += stream.Length();
    const int64_t growth = std::max<int64_t>(0, plan.finalSize - archive.Size());
    TForwardPass pass;
    pass.finalSize = plan.finalSize;
    pass.pieceLength = update.PieceLength(planBytes + growth);
    pass.moves = plan.moves;
    pass.streams = plan.streams;
    pass.head = &plan.head;
    update.SealForward(archive, pass, plan.Outcome());
    // From here the pass can only be finished, now or by the next open.
    const TUnstoppable unstoppable;
    ReportToScope({kMovingPhase, kWritePhases, kMovingText});
    update.FinishForward(archive, pass);
}

}  // namespace

// The header, the places the moved runs and the new streams land on, and the end it cuts.
std::vector<TByteRange> TPassPlan::ChangedRanges(int64_t size) const {
    std::vector<TByteRange> ranges{{0, headLength}};
    for (const TRangeMove& move : moves)
        if (move.from != move.to && move.length > 0) ranges.push_back({move.to, move.to + move.length});
    for (const auto& [position, stream] : streams) ranges.push_back({position, position + stream.Length()});
    if (finalSize < size) ranges.push_back({finalSize, size});
    return MergedInside(std::move(ranges), size);
}

TByteSource TPassPlan::SourceOf(int64_t position) const {
    if (position < headLength) return {false, 0, head.at(static_cast<size_t>(position))};
    // Destinations ascend, and no two moves land at one place: a stream lies between them.
    auto move = std::upper_bound(moves.begin(), moves.end(), position,
                                 [](int64_t p, const TRangeMove& m) { return p < m.to; });
    if (move != moves.begin()) {
        --move;
        if (position < move->to + move->length) return {true, move->from + position - move->to, 0};
    }
    auto stream = std::upper_bound(streams.begin(), streams.end(), position,
                                   [](int64_t p, const auto& s) { return p < s.first; });
    if (stream != streams.begin()) {
        --stream;
        const int64_t within = position - stream->first;
        if (within < stream->second.Length()) return {false, 0, stream->second.At(within)};
    }
    throw std::logic_error("no byte of the pass lands at position " + std::to_string(position));
}

TPassOutcome TPassPlan::Outcome() const {
    return {finalSize, [this](int64_t position) { return SourceOf(position); }};
}

TPassPlan PlanPass(int64_t oldHeadLength, int64_t dataAreaSize, int64_t headLength,
                   const std::vector<TStreamReplacement>& replacements) {
    TPassPlan plan;
    plan.headLength = headLength;
    int64_t from = 0;   // in the data area as it stands on disk
    int64_t shift = 0;  // how far the bytes from there on move within the data area
    for (const TStreamReplacement& replacement : replacements) {
        plan.moves.push_back({oldHeadLength + from, headLength + from + shift, replacement.offset - from});
        plan.streams.emplace_back(headLength + replacement.offset + shift, replacement.stream);
        shift += replacement.stream.Length() - replacement.oldLength;
        from = replacement.offset + replacement.oldLength;
    }
    plan.moves.push_back({oldHeadLength + from, headLength + from + shift, dataAreaSize - from});
    plan.finalSize = headLength + dataAreaSize + shift;
    return plan;
}

void ReportSaving() { ReportToScope({kSavingPhase, kWritePhases, kSavingText}); }

void RunPass(HostFile& archive, const TPassPlan& plan, TArchiveUpdate& update, TPassRole role) {
    ReportSaving();
    const std::vector<TByteRange> changed = plan.ChangedRanges(archive.Size());
    if (role == TPassRole::Last && update.RollsForward(changed)) {
        RunForwardPass(archive, plan, update);
        return;
    }
    update.Protect(changed, plan.Outcome());
    ApplyPass(archive, plan);
    update.PassDone();
}
