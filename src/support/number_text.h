// Number text and character routines. Character positions count from 1; 0 means "not
// found". The existence tests are in existence.h.
#pragma once

#include <cstdint>
#include <string>

std::string HexByte(uint8_t b);                   // "7E": two upper-case digits
std::string HexLong(int32_t value);               // eight upper-case digits, unsigned bits
std::string HexOfBytes(const void* bytes, int32_t n);     // two upper-case digits a byte
std::string LowerHexOfBytes(const void* bytes, size_t n);  // two lower-case digits a byte
int32_t HexToInt(const std::string& text);        // non-digits count as 0 and still shift
std::string GroupThousands(int64_t n);            // "-1,234,567"

size_t LastCharPos(const std::string& text, char ch);
std::string LowerAscii(const std::string& text);  // only 'A'..'Z' fold
void SlashesToBackslashes(std::string& text);
