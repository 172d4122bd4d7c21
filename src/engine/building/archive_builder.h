// Building a new archive from a directory tree.
#pragma once

#include <cstdint>
#include <string>

#include "engine/notices.h"
#include "support/progress.h"

struct TMakeRequest {
    bool bigEndian = false;
    std::string sourceDir;    // "" is the current directory
    std::string archivePath;
    bool convertLoc = true;   // a .loc text is stored as its string table
    ProgressProc progress;    // hears of each folder and file packed, and may stop the build
    TNotices* notices = nullptr;
};

struct TMakeResult {
    bool ok = false;
    int32_t folderCount = 0;  // the folders and files met in the tree, once writing began
    int32_t fileCount = 0;
};

// Packs every folder and file below the source folder into a new archive. True when the
// archive was written and every file's content was obtained; each file or folder that could
// not be read or stored is told in notices.
TMakeResult MakeArchive(const TMakeRequest& request);
