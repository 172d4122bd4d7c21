// .loc string tables: engine/loc_convert.h, and what only the engine and its tests use.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <string>

#include "engine/format/loc_convert.h"
#include "support/bytes.h"

struct Veldane_LOC_Type {
    int32_t count = 0;
    IntegerArrayType offsets;
    TArrayOfChar text;
};

// The most text LocToText makes of a table: perTableByte bytes per byte of the stored
// table, plus allowance. A table written by txt2loc stays within three bytes of text per
// stored byte: escaping writes a byte as three, and the CR LF that ends each line is paid for
// by the string's NUL and its 4-byte offset, since such a table never lets two offsets share
// a string. Foreign tables may point a few offsets at one string (a shared suffix, one empty
// string for many entries): four references to every byte give the factor 12, and the
// allowance covers small tables that share more. A table beyond that is a bomb, such as
// 1,500 offsets at one 1 MiB string asking for 1.5 GB of text.
struct TLocTextBound {
    int64_t perTableByte;
    int64_t allowance;
};
inline constexpr TLocTextBound kLocTextBound{12, 64 * 1024};

void EscapeLocText(std::string& text);
void UnescapeLocText(std::string& text);
// TextToLoc for a text already read: false when its table would be too large to store.
bool TextBytesToLoc(bool bigEndian, const TArrayOfByte& text, TArrayOfByte& buffer);

