// The verdict of an operation's result, its counts handed out: for the tests that check both.
#pragma once

#include <cstdint>

#include "engine/building/archive_builder.h"
#include "engine/editing/archive_edit.h"
#include "engine/editing/archive_sync.h"
#include "engine/updating/archive_update.h"

inline bool Replaced(const TReplaceResult& result, int32_t& count) {
    count = result.replacedCount;
    return result.ok;
}

inline bool Made(const TMakeResult& result, int32_t& folders, int32_t& files) {
    folders = result.folderCount;
    files = result.fileCount;
    return result.ok;
}

inline bool Edited(const TEditResult& result, TEditCounts& counts) {
    counts = result.counts;
    return result.ok;
}

inline bool Synced(const TSyncResult& result, TSyncResult& out) {
    out = result;
    return result.ok;
}
