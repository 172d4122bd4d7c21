// Reading archives back in tests: the listing as numbers, every entry's content, and the
// test trees that archives are written from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "helpers/archive_writer.h"
#include "support/bytes.h"

struct ProbedEntry {
    int32_t entryPos = 0;
    int32_t dataOffset = 0;
    int32_t absOffset = 0;
    int32_t packedSize = 0;
    int32_t unpackedSize = 0;
    std::string path;
};

// The numeric field of a listing line that starts at column (zero-based; the columns are in
// engine/format/internal/archive_format.h): the listing is the text `vpak list` prints.
int32_t ListingField(const std::string& line, int32_t column);

// The archive's listing through the engine's list-only read; empty with ok false when the
// archive does not list.
std::vector<ProbedEntry> ProbeEntries(const std::string& archivePath, bool* ok = nullptr);

// The decompressed content of one entry of the archive's bytes.
TArrayOfByte ProbeContent(const TArrayOfByte& archiveBytes, const ProbedEntry& entry);

// The HeaderSize field of a PC archive's bytes.
int32_t ProbeHeaderSize(const TArrayOfByte& archiveBytes);

// The file of a test tree at an archive path ("a\b\c.txt"); nullptr when there is none.
TestFile* FindTestFile(TestFolder& root, const std::string& path);

// Every file of a test tree with its archive path, in the data area's depth-first order.
std::vector<std::pair<std::string, TArrayOfByte>> TreeFiles(const TestFolder& root);

// The exact bytes the builder's layout gives for a tree.
TArrayOfByte EncodedArchive(const TestFolder& root, bool bigEndian = false);
