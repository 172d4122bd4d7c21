// Building a new archive from a directory tree.
#pragma once

#include <cstdint>
#include <string>

#include "engine/notices.h"
#include "support/progress.h"

// Packs every folder and file below sourceDir into a new archive at archivePath.
// folderCount and fileCount are set to 0 when writing begins and receive the numbers met in
// the tree. True when the archive was written and every file's content was obtained; each
// file or folder that could not be read or stored is told in notices.
bool MakeArchive(bool bigEndian, const std::string& sourceDir, const std::string& archivePath,
                 const ProgressProc& progress, bool convertLoc, int32_t& folderCount, int32_t& fileCount,
                 TNotices* notices = nullptr);
