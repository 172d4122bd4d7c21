// The bodies of the fuzz targets. Each takes one input and returns an empty text when the
// code under test behaved, or a description of the broken property. The libFuzzer targets
// abort on a non-empty text; the corpus replay tests expect it empty. Errors the engine
// raises by design (EInOutError, EZlibError) are a normal outcome; any other exception
// leaves the entry and counts as a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The archive reader: header, directory and listing, both byte orders, from a file that
// holds the input; an archive that lists is tested (CheckArchive) too.
std::string FuzzArchiveReader(const uint8_t* data, size_t size);

// The walk of a decompressed directory, both byte orders, on the input itself.
std::string FuzzDirectoryWalk(const uint8_t* data, size_t size);

// .loc conversion: the input as a binary table (both byte orders) and as a text file.
std::string FuzzLocParser(const uint8_t* data, size_t size);

// Extraction into a sandbox. The first byte picks hash tags, .loc conversion, the byte
// order and the form of the rest: the archive itself, or (kFuzzRawDirectoryBit) a 4-byte
// little-endian length, that many bytes of decompressed directory, then the data area, from
// which the entry builds the archive, so mutations reach the names and records directly.
// Nothing may appear outside the sandbox. An archive that lists is tested (CheckArchive) first.
// With kFuzzSelectionBit, a selective extraction of a few paths runs into the same sandbox first.
// With kFuzzEditBit, the first listed entry is then removed from a copy of the archive: an
// edit that succeeds must leave an archive that lists every other entry.
std::string FuzzExtraction(const uint8_t* data, size_t size);

// The extraction input's first byte.
inline constexpr uint8_t kFuzzHashTagsBit = 0x01;
inline constexpr uint8_t kFuzzConvertLocBit = 0x02;
inline constexpr uint8_t kFuzzBigEndianBit = 0x04;
inline constexpr uint8_t kFuzzRawDirectoryBit = 0x08;
// First a selective extraction (extract ARCHIVE DIR ENTRY...) of paths the listing suggests.
inline constexpr uint8_t kFuzzSelectionBit = 0x10;
// Then an edit of a copy of the archive (remove ARCHIVE ENTRY).
inline constexpr uint8_t kFuzzEditBit = 0x20;
inline constexpr size_t kFuzzRawLengthSize = 4;
