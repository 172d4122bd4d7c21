// In-place updating of PC archives: replacing the stored data of an entry the archive holds.
#pragma once

#include <string>

#include "engine/notices.h"
#include "support/progress.h"

// Replaces the entry found by key (an archive path, or a 24-digit tag text when matchByTag)
// with the content of a file, a .loc text turned into its table when convertLoc. A file that
// cannot be read, or whose name carries no tag when matchByTag, and why the entry was not
// replaced (an Xbox 360 archive, one that does not read, no such entry, a stream it may not
// replace) are told in notices; then nothing is replaced. progress hears the phases of
// writing (saving, moving, writing) and may stop the replacement, which then rolls back.
bool ReplaceOneFile(bool bigEndian, const std::string& archivePath, const std::string& filePath,
                    const std::string& key, bool convertLoc, bool matchByTag, TNotices* notices = nullptr,
                    const ProgressProc& progress = {});
