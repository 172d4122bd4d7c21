// Editing an archive: files added, replaced or removed. The archive is written anew through
// the same staged file a build uses, laid out as a build of the edited tree would lay it
// out, and every entry whose content stays is copied as its stream, never inflated.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/editing/edit_counts.h"
#include "engine/notices.h"
#include "support/progress.h"

struct TAddRequest {
    bool bigEndian = false;
    std::string archivePath;
    // Host files and folders. A folder goes in under its own name with everything below it;
    // given with a "/" at its end (or as "." or ".."), what it holds goes in without it.
    std::vector<std::string> paths;
    std::string folder;       // the archive folder they go into ("/" or "\"), "" the root
    bool convertLoc = true;   // a .loc text is stored as its string table
    ProgressProc progress;
    TNotices* notices = nullptr;
};

// Puts each path into the archive: a file whose path the archive holds (by EntryPathKey)
// replaces that entry's content and keeps its name, any other is added with the folders it
// needs. Not ok, with nothing written, when the archive cannot be read, a path is missing or
// no file or folder, or a name collides (a file where the archive has a folder of that key,
// or the reverse); told in notices. Files below a folder that cannot be read are told and
// left out, as a build leaves them out, and make the result not ok. A kept stream that lies
// outside the archive raises EDecompressionError naming its entry: it cannot be copied.
TEditResult AddToArchive(const TAddRequest& request);

struct TRemoveRequest {
    bool bigEndian = false;
    std::string archivePath;
    // Archive paths as replace --path takes them (any ASCII case, "/" or "\"): a file, or a
    // folder with everything below it; with a separator at its end, only a folder.
    std::vector<std::string> entries;
    ProgressProc progress;
    TNotices* notices = nullptr;
};

// Removes what each entry names. A folder that held something and holds nothing afterwards
// is removed as well; folders that were empty before stay. Not ok, with nothing written, when
// the archive cannot be read or an entry names nothing (each told in notices).
TEditResult RemoveFromArchive(const TRemoveRequest& request);
