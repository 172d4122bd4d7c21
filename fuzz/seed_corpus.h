// The seed corpus of the fuzz targets: valid archives (both byte orders, nested folders,
// .loc entries, empty files), their directory images, and valid .loc tables and texts,
// written with the tests' independent archive writer.
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
};

std::vector<FuzzSeed> MakeSeedCorpus();

// Writes every seed to dir/<target>/<name>.
void WriteSeedCorpus(const std::string& dir);
