// "Re&placeX": replacing every entry for which a folder holds a file, in one pass over the
// archive.
#pragma once

#include <cstdint>
#include <string>

#include "engine/updating/archive_update.h"
#include "engine/notices.h"
#include "support/progress.h"

// Replaces every entry for which the source tree holds a file (at the same relative path, or
// with matchByTag a file whose name carries the entry's tag), in one pass over the archive:
// the files are read, matched and compressed first (ahead, on every core), then every stream
// is moved once, the new streams and the directory are written. The archive, the count (of
// entries replaced), the result, the progress reports and the notices are exactly those of
// replacing the files one by one, each with ReplaceOneFile, under one journal. Every file that
// replaced nothing is told in notices.
TReplaceResult ReplaceFromDirectory(const TReplaceDirRequest& request);
