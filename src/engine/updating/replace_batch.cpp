// "Re&placeX" in one pass over the archive.
//
// The files of the source tree are read, converted and compressed ahead on every core. The
// calling thread takes them in collection order and decides each one exactly as replacing
// the files one by one would (entry found or not, replacement refused or not), keeping in
// memory what each replacement changes: the file records and the sizes, not the data. The
// new streams wait in memory, or parked in the journal once they are many. Then every stream
// behind the first replaced one is moved once, and the new streams and the recompressed
// directory are written. The archive ends with the bytes that replacing the
// files one by one leaves, at the cost of one pass instead of one per file.
//
// Whether a replacement is refused depends on the header size only near the reader's limits
// (a compressed directory near 10 MiB, an archive near 2 GiB); there the exact size of every
// intermediate directory would be needed, so from such a file on the files are replaced one
// by one after all, as they are in archives whose records hold negative offsets or sizes.
// The whole operation runs under one rollback journal, as the file-by-file procedure does.
#include "engine/updating/replace_batch.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <future>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "engine/format/internal/archive_format.h"
#include "engine/format/internal/archive_header.h"
#include "engine/reading/internal/archive_file_pool.h"
#include "engine/reading/internal/archive_reader.h"
#include "engine/updating/internal/archive_update.h"
#include "engine/format/internal/directory_walk.h"
#include "engine/format/internal/entry_key.h"
#include "engine/format/internal/file_record.h"
#include "engine/updating/internal/replace_batch.h"
#include "engine/updating/internal/replacement_reasons.h"
#include "engine/building/internal/source_content.h"
#include "engine/reading/internal/stream_bytes.h"
#include "engine/updating/internal/update_journal.h"
#include "engine/updating/internal/update_pass.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/number_text.h"
#include "support/ordered_work.h"
#include "support/errors.h"
#include "support/fast_inflate.h"
#include "support/paths.h"
#include "support/zlib_adapter.h"

namespace {

// Source files compressed ahead of the deciding thread: at most this many, holding this much.
constexpr TWorkLimits kReadAheadLimits{64, 32 << 20};
// New streams waiting in memory to be written. Beyond this they are parked in the journal.
constexpr int64_t kHeldStreamsBudget = 64 << 20;

constexpr int64_t kMaxInt32 = std::numeric_limits<int32_t>::max();

// One source file as a compressing thread hands it over.
struct TSourceStream {
    bool obtained = false;             // its content was obtained
    std::string problem;               // why not
    TArrayOfByte content;              // as it would be stored, until it is decided
    bool checkedAhead = false;         // compared with its entry's stream by the compressing thread
    int32_t storedEntry = -1;          // then: the entry whose stream holds the content, or -1
    bool compressed = false;           // stream holds the content compressed
    TArrayOfByte stream;
    int32_t unpackedSize = 0;
    std::exception_ptr compressError;  // raised while compressing: matters only for a file that has an entry
};

// The streams of the archive as they are on disk, for comparing a file's content with its
// entry's stream on any thread, as sync compares them. Made once the archive is open; the
// disk does not change until every file is decided.
class TStoredStreams {
public:
    TStoredStreams(const HostFile& archive, const TEntryIndex& entries, int64_t headerSize,
                   const std::vector<int64_t>& offsets, const std::vector<int32_t>& packed,
                   const std::vector<int32_t>& unpacked)
        : files_(archive), entries_(entries), headerSize_(headerSize), archiveSize_(archive.Size()),
          offsets_(offsets), packed_(packed), unpacked_(unpacked) {}

    // The entry key names when its stream inflates to exactly content; -1 otherwise.
    int32_t EntryHolding(const std::string& key, const TArrayOfByte& content) {
        const TEntryMatch match = entries_.Find(key);
        if (!match.Found() || match.Ambiguous()) return -1;
        return Holds(static_cast<size_t>(match.entry), content) ? match.entry : -1;
    }

    // Whether the entry's stream inflates to exactly content. One that cannot be inflated
    // holds nothing.
    bool Holds(size_t index, const TArrayOfByte& content) {
        if (unpacked_[index] != BufferLength(content)) return false;
        const int64_t start = headerSize_ + offsets_[index];
        const int32_t packed = packed_[index];
        if (packed <= 0 || start + packed > archiveSize_) return false;
        thread_local TArrayOfByte stored;
        thread_local TArrayOfByte inflated;
        stored.resize(static_cast<size_t>(packed));
        std::unique_ptr<HostFile> file = files_.Take();
        file->Seek(start);
        file->ReadExact(stored.data(), packed);
        files_.Give(std::move(file));
        try {
            if (InflateExactSizeIntoRoom(stored.data(), packed, unpacked_[index], inflated) != TInflateOutcome::Exact)
                return false;
        } catch (const EDecompressionError&) {
            return false;
        }
        return content.empty() || std::memcmp(inflated.data(), content.data(), content.size()) == 0;
    }

private:
    TArchiveFiles files_;
    const TEntryIndex& entries_;
    const int64_t headerSize_;
    const int64_t archiveSize_;
    // Per listed entry, as on disk.
    const std::vector<int64_t> offsets_;
    const std::vector<int32_t> packed_;
    const std::vector<int32_t> unpacked_;
};

void Compress(TSourceStream& file) {
    try {
        file.stream = CompressBytes(file.content.data(), BufferLength(file.content));
        file.stream.shrink_to_fit();  // it may wait long for the pass
        file.compressed = true;
    } catch (...) {
        file.compressError = std::current_exception();
    }
}

// Obtains and compresses one file as ReplaceOneFile does; runs on a compressing thread. An
// error while reading reaches the deciding thread when it takes this file; one raised by
// compression is kept, as one by one the file would only be compressed once its entry is
// found. Once the archive is open (stored), a file whose entry holds its content already is
// not compressed: it will not be written.
void ObtainSourceFile(const std::string& path, const std::string& key, bool convertLoc, TStoredStreams* stored,
                      TSourceStream& file) {
    file.problem = ObtainStoredContent(kPcByteOrder, convertLoc, path, file.content);
    file.obtained = file.problem.empty();
    if (!file.obtained) return;
    file.unpackedSize = BufferLength(file.content);
    if (stored != nullptr) {
        file.checkedAhead = true;
        file.storedEntry = stored->EntryHolding(key, file.content);
        if (file.storedEntry >= 0) return;
    }
    Compress(file);
}

// Running sums of stream length changes, by rank in offset order (a Fenwick tree): the
// shift of a record is the sum of the changes of every replaced stream in front of it.
class TShiftSums {
public:
    void Reset(size_t count) { tree_.assign(count + 1, 0); }

    void Add(size_t rank, int64_t delta) {
        for (size_t i = rank + 1; i < tree_.size(); i += i & (~i + 1)) tree_[i] += delta;
    }

    // The sum of the changes added at ranks below rank.
    int64_t Below(size_t rank) const {
        int64_t sum = 0;
        for (size_t i = rank; i > 0; i -= i & (~i + 1)) sum += tree_[i];
        return sum;
    }

private:
    std::vector<int64_t> tree_;
};

// A new stream waiting for the pass: in memory, or parked in the journal.
struct TWaitingStream {
    TArrayOfByte bytes;
    std::optional<TStreamBytes> parked;

    TStreamBytes Bytes() const { return parked ? *parked : TStreamBytes::Held(bytes); }
};

enum class TDecision {
    Replaced,   // the entry was replaced (in memory, until the pass)
    Unchanged,  // the entry's stream already inflates to the file's content: it stays as it is
    Failed,     // the file-by-file procedure would return false for this file
    Uncertain,  // only the exact size of an intermediate header could tell
};

// The archive as the replacements decided so far leave it, and the new streams to write.
class TBatchReplacement {
public:
    TBatchReplacement(TOpenedArchive& archive, bool matchByTag, TArchiveUpdate& update, TNotices* notices)
        : opened_(archive), matchByTag_(matchByTag), update_(update), notices_(notices) {}

    // Decides one source file, and tells why it replaces nothing as the file-by-file
    // procedure tells it: the archive's troubles once, the file's own each time. Raises where
    // that procedure would raise: the listing when the first content is obtained, the
    // opening of the archive when the first entry is found, and a compression error of a
    // file that has an entry.
    TDecision Consider(const std::string& sourcePath, const std::string& key, TSourceStream& file) {
        if (!file.obtained) return TDecision::Failed;
        if (matchByTag_ && key.empty()) {
            TellUntagged(notices_, sourcePath);
            return TDecision::Failed;
        }
        if (!Listed()) return TDecision::Failed;
        const TEntryMatch match = entryIndex_.Find(key);
        if (match.Ambiguous()) {
            TellAmbiguous(notices_, sourcePath, archiveIndex_, match, matchByTag_);
            return TDecision::Failed;
        }
        const int32_t index = match.entry;
        if (index < 0) {
            TellNoEntry(notices_, sourcePath, key, matchByTag_);
            return TDecision::Failed;
        }
        if (file.compressError) std::rethrow_exception(file.compressError);
        Open();
        if (!recordsFit_) return Refuse(static_cast<size_t>(index), kRecordOutsideDirectory);
        if (!regular_) return TDecision::Uncertain;
        return Decide(static_cast<size_t>(index), file);
    }

    int64_t HeldBytes() const { return heldBytes_; }

    // The archive's streams once it is open and every record is regular; nullptr before.
    TStoredStreams* StoredStreams() const { return stored_.get(); }

    // Moves the new streams held in memory into the journal. An update without its journal
    // (the archive is no regular file) keeps them.
    void ParkHeld() {
        for (auto& [index, stream] : pending_) {
            if (stream.parked) continue;
            stream.parked = update_.Park(stream.bytes);
            if (!stream.parked) return;
            heldBytes_ -= BufferLength(stream.bytes);
            TArrayOfByte().swap(stream.bytes);
        }
    }

    // Writes every replacement decided in one pass. Files that could not be decided here
    // make passes of their own after it.
    void Apply(TPassRole role) {
        if (pending_.empty()) return;
        const int64_t oldHeaderSize = header_.HeaderSize;
        const int64_t size = archive_->Size();
        WriteCurrentRecords();
        Veldane_PAK_HeaderType header;
        {
            // Compressing the directory at level 9 takes a while, and only then is the
            // header's new length known. Meanwhile the journal saves what the pass changes
            // should the header keep its length: the tail from the first replaced stream,
            // nearly all that it saves in any case. A pass that rolls forward saves none of it.
            const std::vector<TByteRange> likely = Plan(oldHeaderSize).ChangedRanges(size);
            const bool saves = role == TPassRole::Intermediate || !update_.RollsForward(likely);
            ReportSaving();
            std::future<void> saving = std::async(std::launch::async, [&] {
                if (saves) update_.Protect(likely);
            });
            header = HeaderOfDirectory(directory_);
            WaitKeepingAlive(saving);
        }
        header.HeaderSize = static_cast<int32_t>(HeaderLength(header));

        TPassPlan plan = Plan(header.HeaderSize);
        plan.head = HeaderBytes(kPcByteOrder, header);
        RunPass(*archive_, plan, update_, role);
    }

    void Close() {
        if (archive_) archive_->Close();
    }

private:
    // Where the pass puts every byte when the header takes headerSize bytes: the runs of
    // the data area between the replaced streams move, the new streams land between them.
    TPassPlan Plan(int64_t headerSize) const {
        std::vector<TStreamReplacement> replacements;
        for (const auto& [index, stream] : pending_)
            replacements.push_back({baseOffset_[index], diskPacked_[index], stream.Bytes()});
        std::sort(replacements.begin(), replacements.end(),
                  [](const TStreamReplacement& a, const TStreamReplacement& b) { return a.offset < b.offset; });
        return PlanPass(header_.HeaderSize, diskDataAreaSize_, headerSize, replacements);
    }

    TDecision Refuse(size_t index, const char* reason) const {
        TellEntryRefused(notices_, archiveIndex_.PathOf(archiveIndex_.entries[index]), reason);
        return TDecision::Failed;
    }

    bool Listed() {
        if (!listingTried_) {
            listingTried_ = true;
            listable_ = IndexArchiveToUpdate(opened_, archiveIndex_, notices_);
            if (listable_) entryIndex_ = TEntryIndex(archiveIndex_, matchByTag_);
        }
        return listable_;
    }

    // The index was read under the update's lock: its header and directory are the file's,
    // and the directory is not inflated again.
    void Open() {
        if (openTried_) return;
        openTried_ = true;
        archive_ = opened_.Open(HostFile::Mode::ReadWrite);
        update_.Watch(*archive_);
        HeaderOfIndex(archiveIndex_, header_, directory_);
        LoadRecords();
    }

    // Reads every listed record and works out what stays true whatever is replaced: their
    // order by offset, and which streams share bytes with another (never replaceable).
    void LoadRecords() {
        const size_t count = archiveIndex_.entries.size();
        positions_.resize(count);
        for (size_t i = 0; i < count; ++i) positions_[i] = archiveIndex_.entries[i].entryPos;
        recordsFit_ = std::all_of(positions_.begin(), positions_.end(),
                                  [&](int32_t pos) { return RecordFitsDirectory(directory_, pos); });
        if (!recordsFit_) return;

        baseOffset_.resize(count);
        diskPacked_.resize(count);
        packed_.resize(count);
        unpacked_.resize(count);
        regular_ = true;
        for (size_t i = 0; i < count; ++i) {
            const TFileRecord record = ReadRecord(directory_, positions_[i]);
            baseOffset_[i] = record.DataOffset;
            diskPacked_[i] = packed_[i] = record.PackedSize;
            unpacked_[i] = record.UnpackedSize;
            // Negative offsets or sizes follow rules of their own; they are left to the
            // file-by-file procedure.
            regular_ = regular_ && record.DataOffset >= 0 && record.PackedSize >= 0;
        }
        if (!regular_) return;
        RankByOffset();
        FindSharedStreams();
        maxOffset_ = count == 0 ? 0 : *std::max_element(baseOffset_.begin(), baseOffset_.end());
        diskDataAreaSize_ = dataAreaSize_ = archive_->Size() - header_.HeaderSize;
        headerUpper_ = header_.HeaderSize;
        shifts_.Reset(offsets_.size());
        stored_ = std::make_unique<TStoredStreams>(*archive_, entryIndex_, header_.HeaderSize, baseOffset_,
                                                   diskPacked_, unpacked_);
    }

    // Replacing a stream moves the records behind it by the same amount, so their order by
    // offset never changes: the ranks hold for the whole operation.
    void RankByOffset() {
        offsets_.assign(baseOffset_.begin(), baseOffset_.end());
        std::sort(offsets_.begin(), offsets_.end());
        offsets_.erase(std::unique(offsets_.begin(), offsets_.end()), offsets_.end());
        rank_.resize(baseOffset_.size());
        for (size_t i = 0; i < baseOffset_.size(); ++i)
            rank_[i] = static_cast<size_t>(std::lower_bound(offsets_.begin(), offsets_.end(), baseOffset_[i]) -
                                           offsets_.begin());
    }

    // A stream shares bytes with another when both start at one offset or their ranges
    // meet. A replacement never changes which streams do: a replaceable stream shares with
    // none, so every pair that does lies wholly in front of it or wholly behind it.
    void FindSharedStreams() {
        const size_t count = baseOffset_.size();
        std::vector<size_t> order(count);
        for (size_t i = 0; i < count; ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return baseOffset_[a] < baseOffset_[b]; });
        shared_.assign(count, false);
        auto end = [&](size_t i) { return baseOffset_[i] + diskPacked_[i]; };
        // Against the streams that start earlier: one of them reaches past this start.
        int64_t reach = std::numeric_limits<int64_t>::min();
        for (size_t k = 0; k < count;) {
            size_t group = k;
            while (group < count && baseOffset_[order[group]] == baseOffset_[order[k]]) ++group;
            for (size_t g = k; g < group; ++g) {
                if (group - k > 1 || baseOffset_[order[g]] < reach) shared_[order[g]] = true;
            }
            for (size_t g = k; g < group; ++g) reach = std::max(reach, end(order[g]));
            k = group;
        }
        // Against the streams that start later: the next start lies before this end.
        for (size_t k = 0; k < count; ++k) {
            size_t next = k + 1;
            while (next < count && baseOffset_[order[next]] == baseOffset_[order[k]]) ++next;
            if (next < count && baseOffset_[order[next]] < end(order[k])) shared_[order[k]] = true;
        }
    }

    int64_t CurrentOffset(size_t index) const { return baseOffset_[index] + shifts_.Below(rank_[index]); }

    // The checks of one replacement against the archive as the earlier ones leave it.
    TDecision Decide(size_t index, TSourceStream& file) {
        if (pending_.count(index) == 0 && (file.checkedAhead ? file.storedEntry == static_cast<int32_t>(index)
                                                             : stored_->Holds(index, file.content)))
            return TDecision::Unchanged;
        // Left uncompressed for an entry that an earlier file of the batch replaced already.
        if (!file.compressed) Compress(file);
        if (file.compressError) std::rethrow_exception(file.compressError);
        const int64_t offset = CurrentOffset(index);
        const int64_t oldPacked = packed_[index];
        if (offset + oldPacked > dataAreaSize_) return Refuse(index, kStreamRunsPastEnd);
        if (shared_[index]) return Refuse(index, kStreamShared);
        const int64_t newPacked = BufferLength(file.stream);
        const int64_t delta = newPacked - oldPacked;
        if (maxOffset_ > offset && maxOffset_ + delta > kMaxInt32) return Refuse(index, kArchiveTooLarge);

        // The header's size matters only near the limits; below them every size it can
        // take passes.
        const int64_t headerBound = kFixedHeaderSize + CompressedSizeBound(BufferLength(directory_));
        if (headerBound > kMaxHeaderSize) return TDecision::Uncertain;
        if (std::max(headerUpper_, headerBound) + dataAreaSize_ + std::max<int64_t>(delta, 0) > kMaxArchiveSize)
            return TDecision::Uncertain;

        shifts_.Add(rank_[index], delta);
        if (maxOffset_ > offset) maxOffset_ += delta;
        packed_[index] = static_cast<int32_t>(newPacked);
        unpacked_[index] = file.unpackedSize;
        dataAreaSize_ += delta;
        headerUpper_ = headerBound;
        TWaitingStream& waiting = pending_[index];
        heldBytes_ += newPacked - BufferLength(waiting.bytes);
        waiting.bytes = std::move(file.stream);
        waiting.parked.reset();
        return TDecision::Replaced;
    }

    void WriteCurrentRecords() {
        for (size_t i = 0; i < positions_.size(); ++i) {
            const TFileRecord record{static_cast<int32_t>(CurrentOffset(i)), packed_[i], unpacked_[i]};
            WriteRecord(directory_, positions_[i], record);
        }
    }

    TOpenedArchive& opened_;
    const bool matchByTag_;
    TArchiveUpdate& update_;
    TNotices* notices_;

    bool listingTried_ = false;
    bool listable_ = false;
    TArchiveIndex archiveIndex_;
    TEntryIndex entryIndex_;  // of archiveIndex_

    bool openTried_ = false;
    std::unique_ptr<HostFile> archive_;
    Veldane_PAK_HeaderType header_;  // as on disk
    TArrayOfByte directory_;         // as on disk, until the pass writes the records into it
    bool recordsFit_ = false;
    bool regular_ = false;

    // Per listed entry.
    std::vector<int32_t> positions_;
    std::vector<int64_t> baseOffset_;  // DataOffset on disk
    std::vector<int32_t> diskPacked_;  // PackedSize on disk
    std::vector<int32_t> packed_;      // PackedSize after the decided replacements
    std::vector<int32_t> unpacked_;
    std::vector<size_t> rank_;         // among the distinct offsets
    std::vector<bool> shared_;

    std::vector<int64_t> offsets_;  // the distinct offsets on disk, ascending
    TShiftSums shifts_;
    int64_t maxOffset_ = 0;          // the largest DataOffset after the decided replacements
    int64_t diskDataAreaSize_ = 0;
    int64_t dataAreaSize_ = 0;       // after the decided replacements
    int64_t headerUpper_ = 0;        // the most HeaderSize can be after them

    std::map<size_t, TWaitingStream> pending_;  // new stream by entry; a later file replaces an earlier one's
    int64_t heldBytes_ = 0;                     // of the streams in memory
    std::unique_ptr<TStoredStreams> stored_;    // once the records are loaded and regular
};

// Decides the files in collection order while later ones are compressed ahead. Returns the
// index of the first file that must be replaced on its own, or the number of files.
// The files' paths are made as each is read and decided: kept for every file, they would
// cost the depth of the tree each.
size_t DecideFiles(TBatchReplacement& batch, const std::vector<TSourceFile>& files, bool matchByTag,
                   bool convertLoc, const ProgressProc& progress, int64_t heldStreamsBudget, int32_t& replacedCount,
                   int32_t& unchangedCount, TNotices* notices) {
    const size_t total = files.size();
    // The archive's streams, handed to the compressing threads once the archive is open.
    std::atomic<TStoredStreams*> stored{nullptr};
    TOrderedWork<TSourceStream> reading(
        total, CoreCount(), kReadAheadLimits, [&](size_t i) { return CompressionCost(files[i].entry->info.size); },
        [&](size_t i, TSourceStream& file) {
            ObtainSourceFile(HostPathOf(files[i]), SourceFileKey(ArchivePathOf(files[i]), matchByTag), convertLoc,
                             stored.load(std::memory_order_acquire), file);
            return true;
        });
    for (size_t i = 0; i < total; ++i) {
        TSourceStream file = reading.Take(i);
        const std::string path = HostPathOf(files[i]);
        const std::string relative = ArchivePathOf(files[i]);
        if (!file.obtained) Notify(notices, path, NoticeText("cannot read", path, file.problem));
        const TDecision decision = batch.Consider(path, SourceFileKey(relative, matchByTag), file);
        stored.store(batch.StoredStreams(), std::memory_order_release);
        if (decision == TDecision::Uncertain) return i;
        if (decision == TDecision::Replaced) ++replacedCount;
        if (decision == TDecision::Unchanged) ++unchangedCount;
        Report(progress, {static_cast<int64_t>(i) + 1, static_cast<int64_t>(total), relative.c_str()});
        if (batch.HeldBytes() > heldStreamsBudget) batch.ParkHeld();
    }
    return total;
}

bool ReplaceHolding(bool bigEndian, const std::string& archivePath, std::string sourceDir, bool matchByTag,
                    bool convertLoc, const ProgressProc& progress, int32_t& replacedCount, int32_t& unchangedCount,
                    int64_t heldStreamsBudget, TNotices* notices) {
    const TProgressScope scope(progress);
    replacedCount = 0;
    unchangedCount = 0;
    // The archive is looked up once: everything below works from what this finds.
    TOpenedArchive opened(archivePath);
    if (!CanReplaceFromDirectory(bigEndian, opened, sourceDir, notices)) return false;

    // One journal covers every file of the directory: an interruption or an error leaves the
    // archive as it was before the first of them, as one by one.
    TArchiveUpdate update(opened, notices);
    Report(progress, "preparing...");
    TSourceTree tree;
    if (!CollectSourceFiles(sourceDir, opened.Identity(), matchByTag, tree)) return false;
    PassOn(tree.refused, notices);
    const std::vector<TSourceFile>& files = tree.files;

    TBatchReplacement batch(opened, matchByTag, update, notices);
    const size_t next =
        DecideFiles(batch, files, matchByTag, convertLoc, progress, heldStreamsBudget, replacedCount, unchangedCount,
                    notices);
    // Files left to go one by one make passes of their own after this one.
    batch.Apply(next == files.size() ? TPassRole::Last : TPassRole::Intermediate);
    batch.Close();

    // From a file whose replacement only an intermediate header could decide, the rest go
    // one by one.
    ReplaceFilesOneByOne(opened, files, next, matchByTag, convertLoc, progress, replacedCount, notices);
    update.Commit();
    return replacedCount + unchangedCount == static_cast<int32_t>(files.size()) && tree.refused.empty();
}

}  // namespace

TReplaceResult ReplaceFromDirectory(const TReplaceDirRequest& request) {
    return ReplaceFromDirectoryHolding(request, kHeldStreamsBudget);
}

TReplaceResult ReplaceFromDirectoryHolding(const TReplaceDirRequest& request, int64_t heldStreamsBudget) {
    TReplaceResult result;
    result.ok = ReplaceHolding(request.bigEndian, request.archivePath, request.sourceDir, request.matchByTag,
                               request.convertLoc, request.progress, result.replacedCount, result.unchangedCount,
                               heldStreamsBudget, request.notices);
    return result;
}
