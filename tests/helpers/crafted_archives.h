// Small inputs crafted to cost far more than their size when read naively, for tests of the
// reader's bounds and for the fuzz seeds.
#pragma once

#include <cstdint>
#include <string>

#include "support/bytes.h"

// A .loc table of count offsets that all point at one string of length 'A' bytes.
TArrayOfByte LocBombTable(int32_t count, size_t length, bool bigEndian = false);

// An archive whose header declares a directory of declaredSize bytes over the compressed
// bytes packed (which need not inflate to that size), with no data area.
TArrayOfByte ArchiveDeclaringDirectory(const TArrayOfByte& packed, int32_t declaredSize, bool bigEndian = false);

// The zlib stream of count zero bytes.
TArrayOfByte CompressedZeros(size_t count);

// A zlib stream that inflates to about count zero bytes (1 + a multiple of 258 of them, as
// close below count as that allows), written directly in deflate's fixed codes instead of
// compressing anything: 13 bits per 258 zeros. Returns the exact count in inflated.
TArrayOfByte ZeroRunStream(int64_t count, int64_t& inflated);

// An archive of records files in its root that all point at the one stream of its data
// area, which holds content.
TArrayOfByte SharedStreamArchive(int32_t records, const TArrayOfByte& content, bool bigEndian = false);

// An archive of one chain of depth folders, each named folderName, with one small file in
// the deepest.
TArrayOfByte NestedChainArchive(int32_t depth, const std::string& folderName, bool bigEndian = false);

// An archive of folders whose names are as long as names may be (60,000 bytes), each
// holding files named "f" + a number; nested: one chain of them with the files in the
// deepest, else side by side in the root. Every line of its listing repeats the names.
TArrayOfByte LongFolderNamesArchive(int32_t folders, int32_t filesEach, bool nested, bool sameFileNames = false);

// An archive of one chain of depth folders named "d" with a small file "f" in the deepest,
// or with everyLevel in every one. Written level by level: a test tree of that depth would
// be encoded, and freed, one call deeper per level.
TArrayOfByte ChainArchive(int32_t depth, bool everyLevel, bool bigEndian = false);

// An archive that holds a file "x" beside a folder "x" (with "x\\y" in it), and "z" after:
// no file system holds both.
TArrayOfByte FileBesideFolderOfItsNameArchive(bool bigEndian = false);
