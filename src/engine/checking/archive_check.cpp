#include "engine/checking/archive_check.h"

#include <algorithm>
#include <compare>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <set>
#include <unordered_map>
#include <utility>

#include "engine/reading/archive_entries.h"
#include "engine/reading/internal/archive_file_pool.h"
#include "engine/reading/internal/archive_reader.h"
#include "engine/extraction/internal/extraction.h"
#include "engine/format/internal/path_clash.h"
#include "support/display_text.h"
#include "support/errors.h"
#include "support/fast_inflate.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/number_text.h"
#include "support/ordered_work.h"
#include "support/stream_inflate.h"

namespace {

constexpr size_t kNoStream = static_cast<size_t>(-1);
// Inflating a stream holds its two blocks whatever the stream's size; results are a few
// numbers, so the count of streams in flight is what bounds the memory.
constexpr TWorkLimits kCheckLimits{64, 32 << 20};
constexpr int64_t kStreamCheckCost = 192 * 1024;
// A stream this small, and the content its records promise, are inflated whole in memory, far
// faster than piece by piece; a larger one, or one found faulty, goes the piece by piece way,
// which tells where it broke.
constexpr int64_t kWholeStreamLimit = 4 << 20;
constexpr const char* kReadingText = "reading the directory...";
// A stream that overlaps others names this many of them, and counts the rest.
constexpr size_t kNamedOverlaps = 3;

// A stream as records place it. Records that agree on both share the stream, as foreign
// archives let identical files do; records that agree on one only overlap.
struct TStreamKey {
    int64_t start;
    int32_t packedSize;
    auto operator<=>(const TStreamKey&) const = default;
};

// What inflating one stream found.
struct TStreamVerdict {
    bool inflated = false;
    TStreamInflation inflation;
};

bool InflatesWhole(const TStreamKey& stream, int64_t contentLimit) {
    return stream.packedSize <= kWholeStreamLimit && contentLimit <= kWholeStreamLimit;
}

TStreamInflation InflateFromFile(HostFile& file, const TStreamKey& stream, int64_t contentLimit) {
    if (InflatesWhole(stream, contentLimit)) {
        thread_local TArrayOfByte packed;
        packed.resize(static_cast<size_t>(stream.packedSize));
        file.Seek(stream.start);
        TStreamInflation whole;
        if (file.Read(packed.data(), stream.packedSize) == stream.packedSize &&
            MeasureWholeStream(packed.data(), packed.size(), static_cast<size_t>(contentLimit), whole.consumed,
                               whole.produced))
            return whole;
    }
    file.Seek(stream.start);
    int64_t remaining = stream.packedSize;
    const TByteSource source = [&](uint8_t* buffer, int64_t capacity) {
        const int64_t got = file.Read(buffer, std::min(capacity, remaining));
        remaining -= got;
        return got;
    };
    return InflateStream(source, [](const uint8_t*, int64_t) {}, contentLimit);
}

// Streams in order of their start (starts ascending), swept with those still open where each
// begins: every open one overlaps it. Per stream, the positions of the first kNamedOverlaps
// streams it overlaps, by where they begin. Each stream is visited only while it names fewer,
// so records crafted to overlap one another cost no more than that many names each.
std::vector<std::vector<size_t>> NameOverlaps(const std::vector<int64_t>& starts, const std::vector<int64_t>& ends) {
    std::vector<std::vector<size_t>> named(starts.size());
    std::set<size_t> open;     // the streams not yet ended
    std::set<size_t> wanting;  // those of them that name fewer than they may
    std::priority_queue<std::pair<int64_t, size_t>, std::vector<std::pair<int64_t, size_t>>, std::greater<>> ending;
    for (size_t k = 0; k < starts.size(); ++k) {
        for (; !ending.empty() && ending.top().first <= starts[k]; ending.pop()) {
            open.erase(ending.top().second);
            wanting.erase(ending.top().second);
        }
        for (auto it = open.begin(); it != open.end() && named[k].size() < kNamedOverlaps; ++it) named[k].push_back(*it);
        for (auto it = wanting.begin(); it != wanting.end();) {
            named[*it].push_back(k);
            it = named[*it].size() < kNamedOverlaps ? std::next(it) : wanting.erase(it);
        }
        open.insert(k);
        if (named[k].size() < kNamedOverlaps) wanting.insert(k);
        ending.emplace(ends[k], k);
    }
    return named;
}

// Per stream, how many others it overlaps: those that begin before it ends, less those that
// end before it begins, less itself.
std::vector<int64_t> CountOverlaps(const std::vector<int64_t>& starts, const std::vector<int64_t>& ends) {
    std::vector<int64_t> sortedEnds = ends;
    std::sort(sortedEnds.begin(), sortedEnds.end());
    std::vector<int64_t> counts(starts.size());
    for (size_t k = 0; k < starts.size(); ++k) {
        const auto begunBefore = std::lower_bound(starts.begin(), starts.end(), ends[k]) - starts.begin();
        const auto endedBefore = std::upper_bound(sortedEnds.begin(), sortedEnds.end(), starts[k]) - sortedEnds.begin();
        counts[k] = begunBefore - endedBefore - 1;
    }
    return counts;
}

class TArchiveChecker {
public:
    explicit TArchiveChecker(const TArchiveLook& look)
        : look_(look),
          entries_(look.Entries()),
          streamOf_(entries_.size(), kNoStream),
          contentLimit_(entries_.size(), 0),
          overlaps_(entries_.size(), 0),
          verdicts_(entries_.size()),
          files_(look.File()) {}

    // The faults a record shows by itself: its path, its sizes, its stream's place.
    void CheckRecords() {
        // Each stream's records by where they place it; the first of them (the lowest number)
        // stands for the stream. A sorted list costs a third of a map of a million records.
        std::vector<std::pair<TStreamKey, size_t>> records;
        TEntryPaths paths(look_.Index());
        const std::vector<bool> folderStands = EntriesWhereFoldersStand(look_.Index());
        for (size_t i = 0; i < entries_.size(); ++i) {
            const TArchiveEntry& entry = entries_[i];
            if (!IsExtractablePath(paths.Of(entry)))
                reasons_[i].push_back("extraction refuses its path (an empty, \".\" or \"..\" part, a drive, or a NUL)");
            if (folderStands[i]) reasons_[i].push_back("a folder of the archive has the same path");
            if (entry.packedSize <= 0 || entry.unpackedSize < 0) {
                reasons_[i].push_back("its record holds an impossible size");
                continue;
            }
            if (entry.dataOffset < 0) {
                reasons_[i].push_back("its stream begins inside the header");
                continue;
            }
            if (entry.streamStart + entry.packedSize > look_.FileSize()) {
                reasons_[i].push_back("its stream runs past the end of the archive");
                continue;
            }
            records.push_back({{entry.streamStart, entry.packedSize}, i});
        }
        std::sort(records.begin(), records.end());
        // The first record of each stream moves to the front, in place.
        size_t streams = 0;
        for (size_t k = 0; k < records.size(); ++k) {
            const auto [stream, i] = records[k];
            if (streams == 0 || !(records[streams - 1].first == stream)) records[streams++] = records[k];
            const size_t first = records[streams - 1].second;
            streamOf_[i] = first;
            contentLimit_[first] = std::max<int64_t>(contentLimit_[first], entries_[i].unpackedSize);
        }
        records.resize(streams);
        FindOverlaps(records);
    }

    // Inflates every stream that is its own, on the worker threads, and judges each entry as
    // its turn comes; progress hears of each.
    void InflateStreams(const ProgressProc& progress) {
        const size_t total = entries_.size();
        TEntryPaths paths(look_.Index());
        TOrderedWork<TStreamVerdict> work(
            total, CoreCount(), kCheckLimits, [&](size_t i) { return MustInflate(i) ? StreamCost(i) : 0; },
            [&](size_t i, TStreamVerdict& verdict) {
                if (MustInflate(i)) verdict = Inflate(i);
                return true;
            });
        for (size_t i = 0; i < total; ++i) {
            verdicts_[i] = work.Take(i);
            JudgeInflation(i);
            Report(progress,
                   {static_cast<int64_t>(i) + 1, static_cast<int64_t>(total), paths.Of(entries_[i]).c_str()});
        }
    }

    void Collect(TArchiveCheck& check) const {
        check.entryCount = static_cast<int64_t>(entries_.size());
        check.faults.clear();
        TEntryPaths paths(look_.Index());
        for (size_t i = 0; i < entries_.size(); ++i) {
            const auto found = reasons_.find(i);
            if (found == reasons_.end()) continue;
            const std::vector<std::string>& reasons = found->second;
            std::string reason = reasons.front();
            for (size_t r = 1; r < reasons.size(); ++r) reason += "; " + reasons[r];
            check.faults.push_back({paths.Of(entries_[i]), std::move(reason)});
        }
    }

private:
    // Every stream that shares bytes with others is told which, by name (see OverlapReason).
    void FindOverlaps(const std::vector<std::pair<TStreamKey, size_t>>& firstOfStream) {
        if (!AnyOverlap(firstOfStream)) return;  // as in every sound archive: nothing to name
        std::vector<size_t> firsts;
        std::vector<int64_t> starts;
        std::vector<int64_t> ends;
        for (const auto& [stream, first] : firstOfStream) {
            firsts.push_back(first);
            starts.push_back(stream.start);
            ends.push_back(stream.start + stream.packedSize);
        }
        const std::vector<std::vector<size_t>> named = NameOverlaps(starts, ends);
        const std::vector<int64_t> counts = CountOverlaps(starts, ends);
        std::vector<std::string> reasonOf(entries_.size());  // per first entry
        for (size_t k = 0; k < firsts.size(); ++k) {
            overlaps_[firsts[k]] = counts[k];
            if (counts[k] > 0) reasonOf[firsts[k]] = OverlapReason(named[k], firsts, counts[k]);
        }
        for (size_t i = 0; i < entries_.size(); ++i)
            if (streamOf_[i] != kNoStream && overlaps_[streamOf_[i]] > 0) reasons_[i].push_back(reasonOf[streamOf_[i]]);
    }

    static bool AnyOverlap(const std::vector<std::pair<TStreamKey, size_t>>& firstOfStream) {
        int64_t reach = 0;
        for (const auto& [stream, first] : firstOfStream) {
            if (stream.start < reach) return true;
            reach = std::max<int64_t>(reach, stream.start + stream.packedSize);
        }
        return false;
    }

    // `its stream overlaps that of "a"`, `... those of "a" and "b"`, `... those of "a", "b",
    // "c" and 4 more`.
    std::string OverlapReason(const std::vector<size_t>& named, const std::vector<size_t>& firsts, int64_t count) const {
        std::string text = count == 1 ? "its stream overlaps that of " : "its stream overlaps those of ";
        for (size_t k = 0; k < named.size(); ++k) {
            if (k > 0) text += k + 1 == named.size() && count == static_cast<int64_t>(named.size()) ? " and " : ", ";
            text += "\"" + ArchivePathForUser(look_.Index().PathOf(entries_[firsts[named[k]]])) + "\"";
        }
        if (count > static_cast<int64_t>(named.size()))
            text += " and " + GroupThousands(count - static_cast<int64_t>(named.size())) + " more";
        return text;
    }

    // The first record of a stream that lies alone has it inflated; the records sharing it
    // are judged by that one inflation.
    bool MustInflate(size_t i) const { return streamOf_[i] == i && overlaps_[i] == 0; }

    int64_t StreamCost(size_t i) const {
        const TStreamKey stream{entries_[i].streamStart, entries_[i].packedSize};
        return InflatesWhole(stream, contentLimit_[i]) ? stream.packedSize + contentLimit_[i] + kStreamCheckCost
                                                       : kStreamCheckCost;
    }

    TStreamVerdict Inflate(size_t i) {
        std::unique_ptr<HostFile> file = files_.Take();
        const TArchiveEntry& entry = entries_[i];
        TStreamVerdict verdict;
        verdict.inflation = InflateFromFile(*file, {entry.streamStart, entry.packedSize}, contentLimit_[i]);
        verdict.inflated = true;
        files_.Give(std::move(file));
        return verdict;
    }

    void JudgeInflation(size_t i) {
        if (streamOf_[i] == kNoStream) return;
        const TStreamVerdict& verdict = verdicts_[streamOf_[i]];
        if (!verdict.inflated) return;
        const TArchiveEntry& entry = entries_[i];
        const TStreamInflation& inflation = verdict.inflation;
        const std::string recorded = std::to_string(entry.unpackedSize);
        switch (inflation.end) {
            case TStreamEnd::Damaged:
                reasons_[i].push_back("its stream is damaged at byte " + std::to_string(inflation.consumed));
                return;
            case TStreamEnd::CutShort:
                reasons_[i].push_back("its stream does not end within its " + std::to_string(entry.packedSize) +
                                      " packed bytes");
                return;
            case TStreamEnd::OverLimit:  // the limit is the largest size a record of the stream gives
                reasons_[i].push_back("its stream inflates to more than the " + recorded + " bytes its record gives");
                return;
            case TStreamEnd::Complete:
                if (inflation.consumed != entry.packedSize)
                    reasons_[i].push_back("its stream ends at byte " + std::to_string(inflation.consumed) +
                                          ", before its " + std::to_string(entry.packedSize) + " packed bytes end");
                if (inflation.produced != entry.unpackedSize)
                    reasons_[i].push_back("its stream inflates to " + std::to_string(inflation.produced) +
                                          " bytes, not the " + recorded + " its record gives");
                return;
        }
    }

    const TArchiveLook& look_;
    const TArchiveEntries& entries_;
    // Per entry with faults: a sound archive of a million entries holds none.
    std::unordered_map<size_t, std::vector<std::string>> reasons_;
    std::vector<size_t> streamOf_;      // per entry: the first entry of its stream, kNoStream when unreadable
    std::vector<int64_t> contentLimit_;  // per first entry: the largest size its stream's records give
    std::vector<int64_t> overlaps_;     // per first entry: how many other streams its stream overlaps
    std::vector<TStreamVerdict> verdicts_;  // per first entry, once taken
    TArchiveFiles files_;
};

}  // namespace

namespace {

bool CheckArchiveInto(bool bigEndian, const std::string& archivePath, TArchiveCheck& check,
                      const ProgressProc& progress, TNotices* notices) {
    const TProgressScope scope(progress);
    check = TArchiveCheck{};
    Report(progress, kReadingText);
    if (!CanOpenArchive(archivePath, notices)) return false;
    // A file that opens but reads as no archive is a bad archive, not trouble reading it.
    std::optional<TArchiveLook> look;
    try {
        look.emplace(bigEndian, archivePath, notices);
    } catch (const EDecompressionError& error) {  // its directory does not inflate
        Notify(notices, archivePath, error.what());
    }
    check.readsAsArchive = look && look->Listed();
    if (!check.readsAsArchive) return true;
    TArchiveChecker checker(*look);
    checker.CheckRecords();
    checker.InflateStreams(progress);
    checker.Collect(check);
    return true;
}

}  // namespace

TArchiveCheck CheckArchive(const TCheckRequest& request) {
    TArchiveCheck check;
    const bool opened =
        CheckArchiveInto(request.bigEndian, request.archivePath, check, request.progress, request.notices);
    check.opened = opened;
    return check;
}
