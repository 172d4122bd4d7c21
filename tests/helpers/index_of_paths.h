// An index of records made in memory, for the tests of what works from records.
#pragma once

#include <string>
#include <vector>

#include "engine/format/archive_index.h"

// An index whose entries all lie in the root under the given names, "\\" and all: the path of
// each entry is its name.
TArchiveIndex IndexOfPaths(const std::vector<std::string>& paths);
