#include "engine/extraction/selective_extraction.h"

#include "engine/reading/archive_entries.h"
#include "engine/extraction/entry_selection.h"
#include "engine/extraction/internal/extraction.h"

#include <utility>

namespace {

// Every path parsed; false, told in notices, at the first one that cannot select entries.
bool ParsePatterns(const TSelectiveExtractionRequest& request, std::vector<TEntryPattern>& patterns) {
    for (const std::string& text : request.entryPaths) {
        const std::string problem = EntryPatternProblem(text);
        if (!problem.empty()) {
            Notify(request.notices, text, NoticeText("cannot select", text, problem));
            return false;
        }
        patterns.push_back(ParseEntryPattern(text, request.literalPaths));
    }
    return true;
}

}  // namespace

TSelectiveExtractionResult ExtractSelectedEntries(const TSelectiveExtractionRequest& request) {
    const TProgressScope scope(request.progress);
    TSelectiveExtractionResult result;
    std::vector<TEntryPattern> patterns;
    if (!ParsePatterns(request, patterns)) return result;

    TArchiveLook look(request.bigEndian, request.archivePath, request.notices);
    if (!look.Listed()) return result;
    result.archiveRead = true;

    TEntrySelection selection = SelectEntries(look.Index(), patterns);
    result.selectedCount = static_cast<int32_t>(selection.indices.size());
    for (const std::string& text : selection.unmatched)
        Notify(request.notices, text, NoticeText("cannot extract", text, "the archive holds no file it selects"));
    result.unmatched = std::move(selection.unmatched);
    // Nothing selected: no target folder is made for nothing.
    if (selection.indices.empty()) return result;

    TExtractionRequest extraction{request.bigEndian, look.File(),        look.FileSize(),    look.Index(),
                                  request.targetDir, request.targetFolder, request.hashTags, request.convertLoc,
                                  request.progress,  request.notices,      &selection.indices};
    const TExtractionTally tally = ExtractListedFiles(extraction);
    result.extractedCount = tally.written;
    result.allWritten = tally.Whole();
    result.ok = result.allWritten && result.unmatched.empty();
    return result;
}
