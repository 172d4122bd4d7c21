// The content a file on disk is stored as: a .loc text turned into its string table, any
// other file read as it is. Building, replacing one file and replacing from a folder all
// obtain their files here.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <string>

#include "support/bytes.h"

// Fills content and returns "" when it was obtained; otherwise says why not, in words for
// the user (the file is missing, unreadable, not a regular file, too large to store). A file
// larger than a stored entry may be is refused before it is read.
std::string ObtainStoredContent(bool bigEndian, bool convertLoc, const std::string& hostPath, TArrayOfByte& content);

// The memory a file of size bytes holds while it is obtained and compressed, as the files
// in flight are counted against their budget: its content and zlib's output area, which
// starts a tenth larger than the input; small files count a fixed amount more.
int64_t CompressionCost(int64_t size);
