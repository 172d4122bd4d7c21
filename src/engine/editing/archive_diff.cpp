#include "engine/editing/archive_diff.h"

#include <algorithm>

#include "engine/reading/archive_entries.h"
#include "engine/editing/internal/folder_comparison.h"
#include "engine/building/internal/source_tree.h"
#include "support/host_entries.h"
#include "support/paths.h"

namespace {

constexpr const char* kReadingText = "reading the directory and the folder...";


}  // namespace

static bool DiffInto(const TArchiveDiffRequest& request, TArchiveDiff& diff) {
    const TProgressScope scope(request.progress);
    diff = TArchiveDiff{};
    const std::string root = request.folder.empty() ? "." : request.folder;
    Report(request.progress, kReadingText);
    const TArchiveLook look(request.bigEndian, request.archivePath, request.notices);
    if (!look.Listed()) return false;
    const std::string problem = SourceFolderProblem(root);
    if (!problem.empty()) {
        Notify(request.notices, root, NoticeText("cannot read the folder", root, problem));
        return false;
    }

    // As make of the archive would, the archive itself is no part of the folder.
    TListedTree tree = ListSourceTree(root, true);
    LeaveOutFiles(tree, {look.Identity()});
    if (!TellUntakeable(tree, "cannot compare", request.notices)) diff.complete = false;
    const std::vector<TSourceFile> sources = SourceFilesOf(tree);
    diff.entryCount = static_cast<int64_t>(look.Entries().size());
    diff.fileCount = static_cast<int64_t>(sources.size());

    const TComparisonOptions options{request.bigEndian, request.convertLoc, false, request.progress, request.notices};
    TFolderComparison comparison(options, look);
    comparison.Pair(sources);
    comparison.Compare(diff);
    SortDifferences(diff);
    return true;
}

TArchiveDiffResult DiffArchiveWithFolder(const TArchiveDiffRequest& request) {
    TArchiveDiffResult result;
    const bool ok = DiffInto(request, result.diff);
    result.ok = ok;
    return result;
}
