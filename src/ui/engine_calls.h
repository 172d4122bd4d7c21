// The archive-engine operations the window's commands call, as replaceable functions: the
// program uses the engine itself, tests can watch the requests a command makes. What an
// operation has to tell besides its result goes to the request's notices, which the window
// shows.
#pragma once

#include <functional>
#include <string>

#include "engine/building/archive_builder.h"
#include "engine/editing/archive_edit.h"
#include "engine/format/archive_index.h"
#include "engine/reading/archive_reader.h"
#include "engine/updating/archive_update.h"
#include "engine/notices.h"
#include "engine/updating/replace_batch.h"
#include "engine/extraction/selective_extraction.h"

struct TEngineCalls {
    // The archive's records, for the contents tree; false, told in notices, when it does not read.
    std::function<bool(bool bigEndian, const std::string& archivePath, TArchiveIndex& index, TNotices* notices)>
        ReadArchiveIndex;
    std::function<TExtractResult(const TExtractRequest& request)> ExtractArchive;
    std::function<TMakeResult(const TMakeRequest& request)> MakeArchive;
    std::function<TReplaceResult(const TReplaceFileRequest& request)> ReplaceOneFile;
    std::function<TReplaceResult(const TReplaceDirRequest& request)> ReplaceFromDirectory;
    std::function<TSelectiveExtractionResult(const TSelectiveExtractionRequest& request)> ExtractSelected;
    std::function<TEditResult(const TAddRequest& request)> AddToArchive;
    std::function<TEditResult(const TRemoveRequest& request)> RemoveFromArchive;
};

// The engine's own operations.
TEngineCalls EngineOperations();
