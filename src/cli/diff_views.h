// What `vpak diff` prints: a line per differing path for a person, one JSON document for
// programs.
#pragma once

#include <string>

#include "engine/editing/archive_diff.h"

// One line per difference, "A path" (only in the folder), "D path" (only in the archive) or
// "M path" (different content), the path with "/" between folders and control bytes escaped.
// Nothing when they are the same.
std::string DiffLines(const TArchiveDiff& diff);

// {"same": bool, "added": [...], "removed": [...], "changed": [...], "archive_files": n,
//  "folder_files": n}; each path as {"path": ...} with "/" between folders, and with
// "path_bytes" where it is not valid UTF-8, as list --json gives an entry's path (JsonPath).
std::string JsonDiff(const TArchiveDiff& diff);
