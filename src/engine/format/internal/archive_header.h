// The header every writer puts in front of the data area: the two size words, then the
// compressed directory. The builder writes it once, each pass of an update writes it anew.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>

#include "engine/format/internal/archive_format.h"
#include "support/bytes.h"

// The header of a decompressed directory: its size, and its bytes compressed as every
// writer compresses them (zlib, level 9). HeaderSize stays 0: the caller checks
// HeaderLength against the reader's limits and then sets it.
Veldane_PAK_HeaderType HeaderOfDirectory(const TArrayOfByte& directory);

// What the header takes at the archive's start: the two words and the compressed directory.
int64_t HeaderLength(const Veldane_PAK_HeaderType& header);

// The header's bytes as they stand at the archive's start: UnpackedDirSize and HeaderSize in
// the byte order bigEndian names, then the compressed directory.
TArrayOfByte HeaderBytes(bool bigEndian, const Veldane_PAK_HeaderType& header);
