#include "engine/archive_diff.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <utility>

#include "engine/archive_entries.h"
#include "engine/internal/archive_file_pool.h"
#include "engine/internal/entry_key.h"
#include "engine/internal/loc_convert.h"
#include "engine/internal/source_content.h"
#include "engine/internal/source_tree.h"
#include "support/display_text.h"
#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/ordered_work.h"
#include "support/paths.h"
#include "support/stream_inflate.h"

namespace {

constexpr size_t kNoEntry = static_cast<size_t>(-1);
constexpr TWorkLimits kDiffLimits{64, 32 << 20};
// Memory a comparison holds besides the file's content: the inflation's blocks.
constexpr int64_t kPerPairOverhead = 192 * 1024;
constexpr const char* kReadingText = "reading the directory and the folder...";

// A file of the folder and the archive entry it stands for (kNoEntry: none).
struct TPair {
    const TSourceFile* file;
    size_t entry;
};

// What comparing one pair found.
struct TPairVerdict {
    bool read = true;     // the file's content was obtained
    std::string problem;  // why not
    bool changed = false;
};

// Thrown by the comparing sink at the first byte that differs: the rest need not inflate.
struct TContentDiffers {};

// Why the folder cannot be compared at all: "" when it can be listed.
std::string FolderProblem(const std::string& root) {
    const host::EntryInfo info = host::Stat(root);
    if (info.kind == host::EntryKind::Missing) return host::ErrorText(info.errorCode);
    if (info.kind != host::EntryKind::Directory) return "it is not a folder";
    const int code = host::ListDirectory(root).errorCode;
    return code == 0 ? "" : host::ErrorText(code);
}

std::string DamageText(const std::string& archivePath, const TArchiveEntry& entry) {
    return "Damaged stream of entry \"" + ArchivePathForUser(entry.path) + "\" in \"" + archivePath + "\"";
}

// Whether the size the file will be stored with is known without reading it: a .loc text
// that is converted takes the size of its table.
bool SizeIsKnownAhead(bool convertLoc, const TSourceFile& file) {
    return !(convertLoc && IsLocFileName(file.archivePath));
}

class TFolderComparison {
public:
    TFolderComparison(const TArchiveDiffRequest& request, const TArchiveLook& look)
        : request_(request), look_(look), files_(look.Path()) {}

    // Pairs every file with the first entry of the same key not yet paired; entries left
    // over are removed.
    void Pair(const std::vector<TSourceFile>& sources) {
        std::map<std::string, std::deque<size_t>> entriesOfKey;
        const TArchiveEntries& entries = look_.Entries();
        for (size_t i = 0; i < entries.size(); ++i) entriesOfKey[EntryPathKey(entries[i].path)].push_back(i);
        std::vector<char> paired(entries.size(), 0);
        for (const TSourceFile& file : sources) {
            std::deque<size_t>& candidates = entriesOfKey[EntryPathKey(file.archivePath)];
            size_t entry = kNoEntry;
            if (!candidates.empty()) {
                entry = candidates.front();
                candidates.pop_front();
                paired[entry] = 1;
            }
            pairs_.push_back({&file, entry});
        }
        for (size_t i = 0; i < entries.size(); ++i)
            if (!paired[i]) removed_.push_back(i);
    }

    // Compares the pairs on every core, taking the verdicts in the folder's order.
    void Compare(TArchiveDiff& diff) {
        const size_t total = pairs_.size();
        TOrderedWork<TPairVerdict> work(
            total, CoreCount(), kDiffLimits, [&](size_t i) { return Cost(i); },
            [&](size_t i, TPairVerdict& verdict) {
                verdict = Judge(pairs_[i]);
                return true;
            });
        for (size_t i = 0; i < total; ++i) {
            const TPairVerdict verdict = work.Take(i);
            Record(pairs_[i], verdict, diff);
            Report(request_.progress, PackProgress(static_cast<int64_t>(total), static_cast<int64_t>(i) + 1),
                   pairs_[i].file->archivePath.c_str());
        }
        for (size_t entry : removed_)
            diff.differences.push_back({TDifferenceKind::Removed, look_.Entries()[entry].path});
    }

private:
    int64_t Cost(size_t i) const {
        if (pairs_[i].entry == kNoEntry) return 0;
        return std::max<int64_t>(pairs_[i].file->entry->info.size, 0) * 2 + kPerPairOverhead;
    }

    void Record(const TPair& pair, const TPairVerdict& verdict, TArchiveDiff& diff) const {
        if (!verdict.read) {
            diff.complete = false;
            const std::string& path = pair.file->hostPath;
            Notify(request_.notices, path, NoticeText("cannot read", path, verdict.problem));
            return;
        }
        if (pair.entry == kNoEntry) diff.differences.push_back({TDifferenceKind::Added, pair.file->archivePath});
        else if (verdict.changed) diff.differences.push_back({TDifferenceKind::Changed, pair.file->archivePath});
    }

    // Runs on a worker thread.
    TPairVerdict Judge(const TPair& pair) {
        TPairVerdict verdict;
        const host::EntryInfo& info = pair.file->entry->info;
        if (info.kind != host::EntryKind::File) {
            verdict.read = false;
            verdict.problem =
                info.kind == host::EntryKind::Missing ? host::ErrorText(info.errorCode) : "not a regular file";
            return verdict;
        }
        if (pair.entry == kNoEntry) return verdict;  // added, whatever it holds
        const TArchiveEntry& entry = look_.Entries()[pair.entry];
        if (SizeIsKnownAhead(request_.convertLoc, *pair.file) && info.size != entry.unpackedSize) {
            verdict.changed = true;
            return verdict;
        }
        TArrayOfByte content;
        verdict.problem = ObtainStoredContent(request_.bigEndian, request_.convertLoc, pair.file->hostPath, content);
        verdict.read = verdict.problem.empty();
        if (verdict.read) verdict.changed = !StreamHolds(entry, content);
        return verdict;
    }

    // True when the entry's stream inflates to exactly content. A stream that cannot hold
    // it (damaged, cut short, outside the archive) raises EDecompressionError.
    bool StreamHolds(const TArchiveEntry& entry, const TArrayOfByte& content) {
        if (BufferLength(content) != entry.unpackedSize) return false;
        if (entry.packedSize <= 0 || entry.dataOffset < 0 || entry.StreamStart() + entry.packedSize > look_.FileSize())
            throw EDecompressionError(DamageText(look_.Path(), entry));
        std::unique_ptr<HostFile> file = files_.Take();
        file->Seek(entry.StreamStart());
        int64_t remaining = entry.packedSize;
        const TByteSource source = [&](uint8_t* buffer, int64_t capacity) {
            const int64_t got = file->Read(buffer, std::min(capacity, remaining));
            remaining -= got;
            return got;
        };
        size_t at = 0;
        const TByteSink sink = [&](const uint8_t* data, int64_t count) {
            if (!std::equal(data, data + count, content.begin() + static_cast<std::ptrdiff_t>(at)))
                throw TContentDiffers{};
            at += static_cast<size_t>(count);
        };
        TStreamInflation inflation;
        try {
            inflation = InflateStream(source, sink, entry.unpackedSize);
        } catch (const TContentDiffers&) {
            files_.Give(std::move(file));
            return false;
        }
        files_.Give(std::move(file));
        if (inflation.end == TStreamEnd::Damaged || inflation.end == TStreamEnd::CutShort)
            throw EDecompressionError(DamageText(look_.Path(), entry));
        return inflation.end == TStreamEnd::Complete && inflation.produced == entry.unpackedSize;
    }

    const TArchiveDiffRequest& request_;
    const TArchiveLook& look_;
    TArchiveFiles files_;
    std::vector<TPair> pairs_;     // in the order make stores the files
    std::vector<size_t> removed_;  // entries no file stands for, in directory order
};

// What of the folder make could not store either: folders it could not list to their end
// and names that hold a "\". Each is told in notices.
void TellUnstorable(const TArchiveDiffRequest& request, const std::string& root, const TSourceFolder& node,
                    const std::string& folder, TArchiveDiff& diff) {
    if (!node.unreadable.empty()) {
        diff.complete = false;
        const std::string path = HostPathOfEntry(root, folder, "");
        Notify(request.notices, path, NoticeText("cannot read the folder", path, node.unreadable));
    }
    for (const host::DirEntry& entry : node.unstorable) {
        diff.complete = false;
        const std::string path = HostPathOfEntry(root, folder, entry.name);
        Notify(request.notices, path,
               NoticeText("cannot compare", path,
                          "the name holds a backslash, which the archive takes for a folder separator"));
    }
    for (size_t k = 0; k < node.folders.size(); ++k)
        TellUnstorable(request, root, node.children[k], folder + node.folders[k].name + "\\", diff);
}

bool PathLess(const TPathDifference& a, const TPathDifference& b) { return a.path < b.path; }

}  // namespace

bool DiffArchiveWithFolder(const TArchiveDiffRequest& request, TArchiveDiff& diff) {
    const TProgressScope scope(request.progress);
    diff = TArchiveDiff{};
    const std::string root = request.folder.empty() ? "." : request.folder;
    Report(request.progress, 0, kReadingText);
    const TArchiveLook look(request.bigEndian, request.archivePath, request.notices);
    if (!look.Listed()) return false;
    const std::string problem = FolderProblem(root);
    if (!problem.empty()) {
        Notify(request.notices, root, NoticeText("cannot read the folder", root, problem));
        return false;
    }

    // As make of the archive would, the archive itself is no part of the folder.
    TSourceFolder tree = ListSourceTree(root, true);
    LeaveOutFiles(tree, {look.Identity()});
    TellUnstorable(request, root, tree, "", diff);
    const std::vector<TSourceFile> sources = SourceFilesOf(root, tree);
    diff.entryCount = static_cast<int64_t>(look.Entries().size());
    diff.fileCount = static_cast<int64_t>(sources.size());

    TFolderComparison comparison(request, look);
    comparison.Pair(sources);
    comparison.Compare(diff);
    std::stable_sort(diff.differences.begin(), diff.differences.end(), PathLess);
    return true;
}
