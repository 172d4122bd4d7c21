// Writes archives for tests byte by byte, independent of the builder: a tree of folders and
// files is encoded as a directory image, compressed, and laid out behind the header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/bytes.h"

struct TestFile {
    std::string name;
    TArrayOfByte content;
};

struct TestFolder {
    std::string name;
    std::vector<TestFolder> folders;
    std::vector<TestFile> files;
};

// Appends a 32-bit integer in the archive's byte order.
void PutInt(TArrayOfByte& out, bool bigEndian, int32_t value);
// Appends a name: its length, then its bytes.
void PutName(TArrayOfByte& out, bool bigEndian, const std::string& name);

struct TestArchive {
    TArrayOfByte directory;  // decompressed
    TArrayOfByte data;       // the data area
};

// Encodes the tree in the builder's layout (streams in depth-first order, level-9 zlib).
TestArchive EncodeTree(const TestFolder& root, bool bigEndian);

// The whole archive file: header, compressed directory, data area.
TArrayOfByte ArchiveBytes(const TArrayOfByte& directory, const TArrayOfByte& data, bool bigEndian);

// Writes the archive of a tree to path.
void WriteTestArchive(const std::string& path, const TestFolder& root, bool bigEndian = false);
