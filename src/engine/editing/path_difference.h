// What differs between an archive and a folder, path by path: what diff prints and what sync
// acts on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class TDifferenceKind {
    Added,    // only in the folder
    Removed,  // only in the archive
    Changed,  // in both, with different content
};

struct TPathDifference {
    TDifferenceKind kind;
    std::string path;  // "\" between the folders: the archive's own path, or the one make would store
};

struct TArchiveDiff {
    std::vector<TPathDifference> differences;  // ordered by path (bytes, "\" as a separator)
    int64_t entryCount = 0;                    // files in the archive
    int64_t fileCount = 0;                     // files make would store
    // Every file and folder of the folder could be read; each that could not is told in
    // notices, and its path is in no difference.
    bool complete = true;

    bool Same() const { return differences.empty(); }
};
