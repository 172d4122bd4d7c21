// Byte buffers and the byte order of archive integers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A growable, zero-based byte array that knows its length. Lengths stay below 2 GiB.
using TArrayOfByte = std::vector<uint8_t>;
// A growable character array (the character area of a .loc table).
using TArrayOfChar = std::vector<char>;
// A growable array of 32-bit integers (the offsets of a .loc table).
using IntegerArrayType = std::vector<int32_t>;
// An ordered list of text lines (a listing, a folder list, a file list).
using TStringList = std::vector<std::string>;

inline int32_t BufferLength(const TArrayOfByte& buffer) { return static_cast<int32_t>(buffer.size()); }

// Reverses the four bytes of a 32-bit value.
int32_t SwapInt32(int32_t value);

// Converts between host order and archive order: swapped for the big-endian (Xbox 360)
// flavour, unchanged for the little-endian (PC) one. The host is little-endian.
int32_t FromArchiveOrder(bool bigEndian, int32_t value);

// Appends count bytes from source; a count of 0 or less appends nothing.
void AppendBytes(const void* source, int32_t count, TArrayOfByte& buffer);

// Reads the 4 bytes at offset as a little-endian (host order) integer; the caller checks bounds.
int32_t ReadInt32At(const TArrayOfByte& buffer, size_t offset);
// Stores value as 4 little-endian bytes at offset; the caller checks bounds.
void WriteInt32At(TArrayOfByte& buffer, size_t offset, int32_t value);

// Unsigned little-endian fields of width bytes (up to 8), as files of vpak's own hold them.
void PutLittleEndian(uint8_t* at, uint64_t value, int width);
uint64_t GetLittleEndian(const uint8_t* at, int width);
