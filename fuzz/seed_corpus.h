// The seed corpus of the fuzz targets: valid archives (both byte orders, nested folders,
// .loc entries, empty files), their directory images, and valid .loc tables and texts,
// written with the tests' independent archive writer; and hostile inputs, a few kilobytes
// each, that cost far more than their size when read naively.
#pragma once

#include <string>
#include <vector>

#include "support/bytes.h"

enum class SeedKind { Archive, ExtractionInput, Directory, LocTable, LocText };

struct FuzzSeed {
    std::string target;  // the corpus folder: archive_reader, directory_walk, loc_parser, extraction
    std::string name;
    SeedKind kind;
    bool bigEndian;
    TArrayOfByte bytes;
    bool hostile = false;  // crafted to cost far more than its size: need not list or convert
};

std::vector<FuzzSeed> MakeSeedCorpus();

// Writes every seed to dir/<target>/<name>.
void WriteSeedCorpus(const std::string& dir);
