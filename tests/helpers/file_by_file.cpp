#include "helpers/file_by_file.h"

#include <cstdint>
#include <string>

#include "engine/updating/internal/archive_update.h"
#include "engine/reading/internal/opened_archive.h"
#include "engine/updating/internal/update_journal.h"
#include "support/progress.h"

namespace {

bool ReplaceFileByFile(bool bigEndian, const std::string& archivePath, std::string sourceDir, bool matchByTag,
                       bool convertLoc, const ProgressProc& progress, int32_t& replacedCount, TNotices* notices) {
    const TProgressScope scope(progress);
    replacedCount = 0;
    TOpenedArchive opened(archivePath);
    if (!CanReplaceFromDirectory(bigEndian, opened, sourceDir, notices)) return false;

    // One journal covers every file of the directory: an interruption leaves the archive as
    // it was before the first of them.
    TArchiveUpdate update(opened, notices);
    Report(progress, "preparing...");
    TSourceTree tree;
    if (!CollectSourceFiles(sourceDir, opened.Identity(), matchByTag, tree)) return false;
    PassOn(tree.refused, notices);

    ReplaceFilesOneByOne(opened, tree.files, 0, matchByTag, convertLoc, progress, replacedCount, notices);
    update.Commit();
    return replacedCount == static_cast<int32_t>(tree.files.size()) && tree.refused.empty();
}

}  // namespace

TReplaceResult ReplaceFromDirectoryFileByFile(const TReplaceDirRequest& request) {
    TReplaceResult result;
    result.ok = ReplaceFileByFile(request.bigEndian, request.archivePath, request.sourceDir, request.matchByTag,
                                  request.convertLoc, request.progress, result.replacedCount, request.notices);
    return result;
}
