// .loc string tables: a count, an offset table and NUL-terminated strings, converted to
// editable text (one escaped string per CR LF line) and back.
#pragma once

#include <string>

#include "support/bytes.h"

// Replaces the binary table in buffer by its text. False for a damaged table, an offset
// outside the character area, or a text that would grow past its bound (kLocTextBound in
// engine/format/internal/loc_convert.h: offsets that share one long string many times over); the
// bound is checked before the text grows.
bool LocToText(bool bigEndian, TArrayOfByte& buffer);
// True when the extension of name (a file's or an archive path's last part), ASCII-lowered,
// is ".loc".
bool IsLocFileName(const std::string& name);
// The table of the text in the file at path: false when the file cannot be read or its table
// would be too large to store.
bool TextToLoc(bool bigEndian, const std::string& path, TArrayOfByte& buffer);
