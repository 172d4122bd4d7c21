// The content a file on disk is stored as: a .loc text turned into its string table, any
// other file read as it is.
#pragma once

#include <string>

#include "support/bytes.h"

// Fills content and returns "" when it was obtained; otherwise says why not, in words for
// the user (the file is missing, unreadable, not a regular file, too large to store). A file
// larger than a stored entry may be is refused before it is read.
std::string ObtainStoredContent(bool bigEndian, bool convertLoc, const std::string& hostPath, TArrayOfByte& content);
