// Files whose path an archive also gives a folder ("x" beside "x\y"): a crafted archive can
// hold both, and no file system can, so extraction fails one of them and test reports it.
#pragma once

#include "engine/internal_header.h"

#include <vector>

#include "engine/format/archive_index.h"

// For every entry of the index: true when a folder of the archive has its path. Paths
// compare byte for byte, "/" taken as "\" as extraction takes it.
std::vector<bool> EntriesWhereFoldersStand(const TArchiveIndex& index);
