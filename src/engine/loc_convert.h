// .loc string tables: a count, an offset table and NUL-terminated strings, converted to
// editable text (one escaped string per CR LF line) and back.
#pragma once

#include <cstdint>
#include <string>

#include "support/bytes.h"

struct Veldane_LOC_Type {
    int32_t count = 0;
    IntegerArrayType offsets;
    TArrayOfChar text;
};

void EscapeLocText(std::string& text);
void UnescapeLocText(std::string& text);
bool LocToText(bool bigEndian, TArrayOfByte& buffer);
bool TextToLoc(bool bigEndian, const std::string& path, TArrayOfByte& buffer);
// The same for a text already read: false when its table would be too large to store.
bool TextBytesToLoc(bool bigEndian, const TArrayOfByte& text, TArrayOfByte& buffer);

// True when the extension of name, ASCII-lowered, is ".loc".
bool IsLocFileName(const std::string& name);
