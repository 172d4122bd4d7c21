// Archives whose streams store their bytes without compressing them, as another packer may
// write them: a program that compressed them afresh would change every stream.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/bytes.h"

// A zlib stream (level 0) holding content as it is.
TArrayOfByte StoredZlibStream(const TArrayOfByte& content);

// An archive of files at its root, each (name, content) with a stored stream, in order.
TArrayOfByte StoredStreamArchive(const std::vector<std::pair<std::string, TArrayOfByte>>& files, bool bigEndian);
