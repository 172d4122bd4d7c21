#include "engine/editing/archive_sync.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "engine/building/archive_builder.h"
#include "engine/reading/archive_entries.h"
#include "engine/building/internal/archive_builder.h"
#include "engine/reading/internal/archive_reader.h"
#include "engine/editing/internal/folder_comparison.h"
#include "engine/building/internal/source_tree.h"
#include "engine/building/internal/staged_archive.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/host_lock.h"
#include "support/ordered_work.h"

namespace {

const char* const kReadingText = "reading the directory and the folder...";

bool ArchiveIsMissing(const TOpenedArchive& archive) {
    return archive.Info().kind == host::EntryKind::Missing && archive.Info().errorCode == ENOENT;
}

// A dry run where there is no archive: every file the folder holds would be added.
bool ListWhatMakeWouldAdd(const TSyncRequest& request, const std::string& root, TSyncResult& result) {
    result.made = true;
    const TListedTree tree = ListSourceTree(root, true);
    if (!TellUntakeable(tree, "cannot store", request.notices)) result.diff.complete = false;
    for (const TSourceFile& file : SourceFilesOf(tree)) {
        ++result.diff.fileCount;
        const std::string reason = StoringProblem(file);
        if (reason.empty()) {
            result.diff.differences.push_back({TDifferenceKind::Added, ArchivePathOf(file)});
            continue;
        }
        result.diff.complete = false;
        const std::string path = HostPathOf(file);
        Notify(request.notices, path, NoticeText("cannot read", path, reason));
    }
    SortDifferences(result.diff);
    return result.diff.complete;  // as make fails on what it could not store
}

bool MakeInstead(const TSyncRequest& request, const std::string& root, TSyncResult& result) {
    if (request.dryRun) return ListWhatMakeWouldAdd(request, root, result);
    result.made = true;
    const TMakeResult made = MakeArchive(
        {request.bigEndian, root, request.archivePath, request.convertLoc, request.progress, request.notices});
    result.folderCount = made.folderCount;
    result.fileCount = made.fileCount;
    result.diff.fileCount = result.fileCount;
    return made.ok;
}

}  // namespace

int64_t TSyncResult::Count(TDifferenceKind kind) const {
    if (made && kind == TDifferenceKind::Added && diff.differences.empty()) return fileCount;
    return std::count_if(diff.differences.begin(), diff.differences.end(),
                         [&](const TPathDifference& difference) { return difference.kind == kind; });
}

static bool SyncInto(const TSyncRequest& request, TSyncResult& result) {
    const TProgressScope scope(request.progress);
    result = TSyncResult{};
    const std::string root = request.folder.empty() ? "." : request.folder;
    const std::string problem = SourceFolderProblem(root);
    if (!problem.empty()) {
        Notify(request.notices, root, NoticeText("cannot read the folder", root, problem));
        return false;
    }
    TOpenedArchive archive(request.archivePath);
    if (ArchiveIsMissing(archive)) return MakeInstead(request, root, result);
    if (!CanOpenArchive(archive, request.notices)) return false;

    Report(request.progress, kReadingText);
    // A sync that writes holds the archive alone from the comparison to the renaming, its
    // lock taken first, as every writer takes it (see EditArchive). Its new file comes
    // before the folder is listed, so that a listing of a folder that holds it meets it.
    std::unique_ptr<host::FileLock> alone;
    std::unique_ptr<TStagedArchive> staged;
    if (!request.dryRun) {
        alone = archive.Lock(host::LockKind::Exclusive);
        staged = std::make_unique<TStagedArchive>(archive, request.notices);
    }
    TArchiveLook look(request.bigEndian, archive, request.notices);
    if (!look.Listed()) return false;
    std::vector<host::FileIdentity> leftOut{look.Identity()};
    if (staged) leftOut.push_back(staged->Identity());

    TListedTree tree = ListSourceTree(root, true);
    LeaveOutFiles(tree, leftOut);
    std::vector<TSourceFile> sources = SourceFilesOf(tree);
    result.diff.entryCount = static_cast<int64_t>(look.Entries().size());
    result.diff.fileCount = static_cast<int64_t>(sources.size());
    // A file that cannot be read is told once: by the comparison in a dry run, else by the build.
    TNotices* comparisonNotices = request.dryRun ? request.notices : nullptr;
    const TComparisonOptions options{request.bigEndian, request.convertLoc, true, request.progress, comparisonNotices};
    TFolderComparison comparison(options, look);
    comparison.Pair(sources);
    comparison.Compare(result.diff);
    SortDifferences(result.diff);
    const std::vector<size_t>& same = comparison.SameEntries();
    for (size_t i = 0; i < sources.size(); ++i) {
        if (same[i] == kNoEntry) continue;
        ++result.unchanged;
        const TArchiveEntry& entry = look.Entries()[same[i]];
        sources[i].kept = TKeptStream{entry.streamStart, entry.packedSize, entry.unpackedSize};
    }
    if (request.dryRun) {
        if (!TellUntakeable(tree, "cannot store", request.notices)) result.diff.complete = false;
        return result.diff.complete;
    }

    Report(request.progress, "writing...");
    const TTreeBuild build{request.bigEndian, request.convertLoc, root, &tree, std::move(sources), &look.File(),
                           CoreCount()};
    const bool complete = WriteArchiveTree(build, staged->File(), request.archivePath, request.progress,
                                           request.notices, result.folderCount, result.fileCount);
    staged->Commit();
    return complete;
}

TSyncResult SyncArchiveWithFolder(const TSyncRequest& request) {
    TSyncResult result;
    const bool ok = SyncInto(request, result);
    result.ok = ok;
    return result;
}
