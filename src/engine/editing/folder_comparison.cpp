#include "engine/editing/internal/folder_comparison.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <unordered_map>
#include <utility>

#include "engine/format/internal/archive_format.h"
#include "engine/format/internal/entry_key.h"
#include "engine/format/internal/loc_convert.h"
#include "engine/building/internal/source_content.h"
#include "support/display_text.h"
#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/ordered_work.h"
#include "support/fast_inflate.h"
#include "support/stream_inflate.h"
#include "support/whole_file.h"

namespace {

constexpr TWorkLimits kComparisonLimits{64, 32 << 20};
// Memory a comparison holds besides the file's content, the stream and what it inflates to.
constexpr int64_t kPerPairOverhead = 64 * 1024;
// A run of pairs handed to a comparing thread at once: at most this many, costing at most
// about this much.
constexpr size_t kRunPairs = 32;
constexpr int64_t kRunCost = 4 << 20;
// A file and a stream up to this size are compared whole in memory, several times faster than
// piece by piece; larger ones are compared piece by piece, so that a comparison holds neither
// whole, and cost what inflating a stream piece by piece holds.
constexpr int64_t kWholeComparisonLimit = 4 << 20;
constexpr int64_t kPieceCost = 256 * 1024;

// The buffers of a comparing thread, kept from pair to pair: most files are small, and
// clearing fresh buffers for each would cost about what comparing them does.
struct TRooms {
    TArrayOfByte content;
    TArrayOfByte packed;
    TArrayOfByte inflated;
};

TRooms& ThreadRooms() {
    thread_local TRooms rooms;
    return rooms;
}

std::string DamageText(const std::string& archivePath, const std::string& entryPath) {
    return "Damaged stream of entry \"" + ArchivePathForUser(entryPath) + "\" in \"" + archivePath + "\"";
}

// Whether the size the file will be stored with is known without reading it: a .loc text
// that is converted takes the size of its table.
bool SizeIsKnownAhead(bool convertLoc, const TSourceFile& file) {
    return !(convertLoc && IsLocFileName(file.entry->name));
}

bool ComparedInPieces(const TArchiveEntry& entry) {
    return entry.unpackedSize > kWholeComparisonLimit || entry.packedSize > kWholeComparisonLimit;
}

// Raised by a piece that differs, to end the inflation there.
struct TPieceDiffers {};

}  // namespace

std::string StoringProblem(const TSourceFile& file) {
    const host::EntryInfo& info = file.entry->info;
    if (info.kind != host::EntryKind::File) return UnreadableEntryText(info);
    // The walk found a regular file: what is left to know is whether it opens, which costs
    // less than looking at it again. One too large is refused in the words reading it gives.
    std::unique_ptr<HostFile> opened;
    const std::string path = HostPathOf(file);
    if (info.size > kMaxArchiveSize) return OpenWholeFileOrSayWhy(path, opened, kMaxArchiveSize);
    try {
        opened = std::make_unique<HostFile>(path, HostFile::Mode::ReadNonBlocking);
    } catch (const EInOutError& error) {
        return host::ErrorText(error.Code());
    }
    return "";
}

void TFolderComparison::Pair(const std::vector<TSourceFile>& sources) {
    // The entries of each key's hash in directory order, and how many at the front are
    // paired already. Keys are paths: the entries are held by a hash of theirs, and a key is
    // made again where hashes meet.
    struct TCandidates {
        std::vector<size_t> entries;
        size_t paired = 0;
    };
    const auto hashOf = [](const std::string& key) { return std::hash<std::string>()(key); };
    std::unordered_map<size_t, TCandidates> entriesOfHash;
    const TArchiveEntries& entries = look_.Entries();
    entriesOfHash.reserve(entries.size());
    TEntryPaths paths(look_.Index());
    for (size_t i = 0; i < entries.size(); ++i)
        entriesOfHash[hashOf(EntryPathKey(paths.Of(entries[i])))].entries.push_back(i);
    std::vector<char> paired(entries.size(), 0);
    pairs_.reserve(sources.size());
    for (const TSourceFile& file : sources) {
        size_t entry = kNoEntry;
        const std::string key = EntryPathKey(ArchivePathOf(file));
        const auto found = entriesOfHash.find(hashOf(key));
        if (found != entriesOfHash.end()) {
            TCandidates& candidates = found->second;
            while (candidates.paired < candidates.entries.size() && paired[candidates.entries[candidates.paired]])
                ++candidates.paired;
            for (size_t k = candidates.paired; k < candidates.entries.size(); ++k) {
                const size_t i = candidates.entries[k];
                if (paired[i] || EntryPathKey(look_.Index().PathOf(entries[i])) != key) continue;
                entry = i;
                paired[i] = 1;
                break;
            }
        }
        pairs_.push_back({&file, entry});
    }
    for (size_t i = 0; i < entries.size(); ++i)
        if (!paired[i]) removed_.push_back(i);
}

void TFolderComparison::Compare(TArchiveDiff& diff) {
    const size_t total = pairs_.size();
    same_.assign(total, kNoEntry);
    // Pairs go to the comparing threads in runs: most files are small, and handing each
    // over alone would cost the threads as much waiting on one another as comparing.
    std::vector<size_t> runStart;
    int64_t runCost = 0;
    for (size_t i = 0; i < total; ++i) {
        if (runStart.empty() || i - runStart.back() >= kRunPairs || runCost >= kRunCost) {
            runStart.push_back(i);
            runCost = 0;
        }
        runCost += Cost(i);
    }
    runStart.push_back(total);
    const size_t runs = runStart.size() - 1;
    TOrderedWork<std::vector<TPairVerdict>> work(
        runs, CoreCount(), kComparisonLimits,
        [&](size_t r) {
            int64_t cost = 0;
            for (size_t i = runStart[r]; i < runStart[r + 1]; ++i) cost += Cost(i);
            return cost;
        },
        [&](size_t r, std::vector<TPairVerdict>& verdicts) {
            // A pair whose judging raises ends the run there: it raises when it is taken,
            // after the pairs before it, as a pair judged alone would.
            for (size_t i = runStart[r]; i < runStart[r + 1]; ++i) {
                verdicts.emplace_back();
                try {
                    verdicts.back() = Judge(pairs_[i]);
                } catch (...) {
                    verdicts.back().raised = std::current_exception();
                    return false;
                }
            }
            return true;
        });
    for (size_t r = 0; r < runs; ++r) {
        const std::vector<TPairVerdict> verdicts = work.Take(r);
        for (size_t k = 0; k < verdicts.size(); ++k) {
            const size_t i = runStart[r] + k;
            const TPairVerdict& verdict = verdicts[k];
            if (verdict.raised) std::rethrow_exception(verdict.raised);
            Record(pairs_[i], verdict, diff);
            if (verdict.read && !verdict.changed) same_[i] = pairs_[i].entry;
            Report(options_.progress, {static_cast<int64_t>(i) + 1, static_cast<int64_t>(total),
                                       ArchivePathOf(*pairs_[i].file).c_str()});
        }
    }
    for (size_t entry : removed_)
        diff.differences.push_back({TDifferenceKind::Removed, look_.Index().PathOf(look_.Entries()[entry])});
}

int64_t TFolderComparison::Cost(size_t i) const {
    if (pairs_[i].entry == kNoEntry) return 0;
    const int64_t size = std::max<int64_t>(pairs_[i].file->entry->info.size, 0);
    if (!ComparedInPieces(look_.Entries()[pairs_[i].entry])) return size * 3 + kPerPairOverhead;
    // A .loc text is read and converted whole; only its table is compared piece by piece.
    const int64_t whole = SizeIsKnownAhead(options_.convertLoc, *pairs_[i].file) ? 0 : size * 2;
    return whole + kPieceCost + kPerPairOverhead;
}

void TFolderComparison::Record(const TPair& pair, const TPairVerdict& verdict, TArchiveDiff& diff) const {
    if (!verdict.read) {
        diff.complete = false;
        const std::string path = HostPathOf(*pair.file);
        Notify(options_.notices, path, NoticeText("cannot read", path, verdict.problem));
        return;
    }
    if (pair.entry == kNoEntry) diff.differences.push_back({TDifferenceKind::Added, ArchivePathOf(*pair.file)});
    else if (verdict.changed) diff.differences.push_back({TDifferenceKind::Changed, ArchivePathOf(*pair.file)});
}

// Runs on a worker thread.
TFolderComparison::TPairVerdict TFolderComparison::Judge(const TPair& pair) {
    TPairVerdict verdict;
    const host::EntryInfo& info = pair.file->entry->info;
    const bool sizeKnown = SizeIsKnownAhead(options_.convertLoc, *pair.file);
    // An added file, or one its size alone marks changed: its content is not needed here, but
    // make must be able to read it, or the file is no difference it could store.
    if (pair.entry == kNoEntry || info.kind != host::EntryKind::File ||
        (sizeKnown && info.size != look_.Entries()[pair.entry].unpackedSize)) {
        verdict.problem = StoringProblem(*pair.file);
        verdict.read = verdict.problem.empty();
        verdict.changed = pair.entry != kNoEntry;
        return verdict;
    }
    const TArchiveEntry& entry = look_.Entries()[pair.entry];
    if (sizeKnown && ComparedInPieces(entry)) return JudgeInPieces(HostPathOf(*pair.file), entry);
    TRooms& rooms = ThreadRooms();
    if (sizeKnown) {
        int64_t size = 0;
        verdict.problem = ReadWholeFileIntoRoomOrSayWhy(HostPathOf(*pair.file), rooms.content, size, kMaxArchiveSize);
        verdict.read = verdict.problem.empty();
        if (verdict.read) verdict.changed = !StreamHolds(entry, rooms.content.data(), size);
        return verdict;
    }
    TArrayOfByte content;
    verdict.problem = ObtainStoredContent(options_.bigEndian, options_.convertLoc, HostPathOf(*pair.file), content);
    verdict.read = verdict.problem.empty();
    if (verdict.read) verdict.changed = !StreamHolds(entry, content.data(), BufferLength(content));
    return verdict;
}

// Judge for a large file, read piece by piece as the stream inflates.
TFolderComparison::TPairVerdict TFolderComparison::JudgeInPieces(const std::string& hostPath,
                                                                 const TArchiveEntry& entry) {
    TPairVerdict verdict;
    std::unique_ptr<HostFile> file;
    verdict.problem = OpenWholeFileOrSayWhy(hostPath, file, kMaxArchiveSize);
    verdict.read = verdict.problem.empty();
    if (verdict.read)
        verdict.changed = file->Size() != entry.unpackedSize ||
                          !StreamGivesInPieces(entry, [&](uint8_t* buffer, int64_t count) {
                              return file->Read(buffer, count);
                          });
    return verdict;
}

// The entry's stream cannot hold any content: it does not lie inside the archive.
bool TFolderComparison::Damaged(const TArchiveEntry& entry) const {
    return entry.packedSize <= 0 || entry.dataOffset < 0 || entry.streamStart + entry.packedSize > look_.FileSize();
}

// True when the entry's stream inflates to exactly content. A stream that cannot hold it
// (damaged, cut short, outside the archive) is a difference or raises, as the options say.
// A small stream is read and inflated whole: every byte of a file of the same size must be
// compared anyway, and inflating a whole buffer is several times faster than piece by piece.
bool TFolderComparison::StreamHolds(const TArchiveEntry& entry, const uint8_t* content, int64_t size) {
    if (size != entry.unpackedSize) return false;
    if (ComparedInPieces(entry)) {
        int64_t at = 0;
        return StreamGivesInPieces(entry, [&](uint8_t* buffer, int64_t count) {
            count = std::min(count, size - at);
            std::memcpy(buffer, content + at, static_cast<size_t>(count));
            at += count;
            return count;
        });
    }
    if (Damaged(entry)) return TellDamaged(entry);
    TRooms& rooms = ThreadRooms();
    if (rooms.packed.size() < static_cast<size_t>(entry.packedSize)) rooms.packed.resize(static_cast<size_t>(entry.packedSize));
    std::unique_ptr<HostFile> file = files_.Take();
    file->Seek(entry.streamStart);
    file->ReadExact(rooms.packed.data(), entry.packedSize);
    files_.Give(std::move(file));
    try {
        if (InflateExactSizeIntoRoom(rooms.packed.data(), entry.packedSize, entry.unpackedSize, rooms.inflated) !=
            TInflateOutcome::Exact)
            return false;
    } catch (const EDecompressionError&) {
        return TellDamaged(entry);
    }
    return size == 0 || std::memcmp(rooms.inflated.data(), content, static_cast<size_t>(size)) == 0;
}

// StreamHolds for a large stream, which it inflates piece by piece, comparing each piece with
// as many bytes of content as it holds; the first piece that differs ends the inflation.
bool TFolderComparison::StreamGivesInPieces(const TArchiveEntry& entry, const TByteSource& content) {
    if (Damaged(entry)) return TellDamaged(entry);
    std::unique_ptr<HostFile> file = files_.Take();
    file->Seek(entry.streamStart);
    int64_t remaining = entry.packedSize;
    const TByteSource packed = [&](uint8_t* buffer, int64_t capacity) {
        const int64_t got = file->Read(buffer, std::min(capacity, remaining));
        remaining -= got;
        return got;
    };
    std::vector<uint8_t> piece;
    const TByteSink compare = [&](const uint8_t* data, int64_t count) {
        piece.resize(static_cast<size_t>(count));
        if (content(piece.data(), count) != count || std::memcmp(piece.data(), data, static_cast<size_t>(count)) != 0)
            throw TPieceDiffers{};
    };
    TStreamInflation inflation;
    try {
        inflation = InflateStream(packed, compare, entry.unpackedSize);
    } catch (const TPieceDiffers&) {
        files_.Give(std::move(file));
        return false;
    }
    files_.Give(std::move(file));
    if (inflation.end == TStreamEnd::Damaged || inflation.end == TStreamEnd::CutShort) return TellDamaged(entry);
    return inflation.end == TStreamEnd::Complete && inflation.produced == entry.unpackedSize;
}

// A stream that cannot be inflated: its file's content counts as changed, or it raises.
bool TFolderComparison::TellDamaged(const TArchiveEntry& entry) const {
    if (options_.damagedIsChanged) return false;
    throw EDecompressionError(DamageText(look_.Path(), look_.Index().PathOf(entry)));
}

void SortDifferences(TArchiveDiff& diff) {
    // Stable by index rather than with std::stable_sort, whose temporary buffer GCC 12's
    // library frees in a way AddressSanitizer reports as a mismatch.
    std::vector<TPathDifference>& differences = diff.differences;
    std::vector<size_t> order(differences.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (differences[a].path != differences[b].path) return differences[a].path < differences[b].path;
        return a < b;
    });
    std::vector<TPathDifference> sorted;
    sorted.reserve(differences.size());
    for (size_t k : order) sorted.push_back(std::move(differences[k]));
    differences = std::move(sorted);
}
