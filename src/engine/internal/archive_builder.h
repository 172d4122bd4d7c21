// Building a new archive: engine/archive_builder.h, and what only the engine's tests use.
#pragma once

#include <cstdint>
#include <string>

#include "engine/archive_builder.h"
#include "engine/notices.h"
#include "support/progress.h"

// MakeArchive with a chosen number of compressing threads; 0 compresses on the calling
// thread. The archive and the progress reports are the same whatever the number;
// MakeArchive uses one thread per core.
bool MakeArchiveWithThreads(bool bigEndian, const std::string& sourceDir, const std::string& archivePath,
                            const ProgressProc& progress, bool convertLoc, int32_t& folderCount,
                            int32_t& fileCount, int compressingThreads, TNotices* notices = nullptr);
