// What `vpak diff` prints: a line per differing path for a person, one JSON document for
// programs.
#pragma once

#include <string>

#include "engine/archive_diff.h"

// One line per difference, "A path" (only in the folder), "D path" (only in the archive) or
// "M path" (different content), the path with "/" between folders and control bytes escaped.
// Nothing when they are the same.
std::string DiffLines(const TArchiveDiff& diff);

// {"same": bool, "added": [...], "removed": [...], "changed": [...], "archive_files": n,
//  "folder_files": n}; each path as a string with "/" between folders. A path that is not
// valid UTF-8 has each byte outside a valid sequence as U+FFFD, as list --json gives it.
std::string JsonDiff(const TArchiveDiff& diff);
