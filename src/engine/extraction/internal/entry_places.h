// Where the entries of an index go below an extraction's target, worked out folder by folder:
// a folder's place is its parent's and its own name's parts, so a directory of folders nested
// tens of thousands deep costs its names once, not the depth for every file.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <string>
#include <vector>

#include "engine/format/archive_index.h"

namespace host {
class FolderCursor;
}

// The parts a name gives a path: the runs between "\" and "/" (archives written elsewhere use
// either). False when one is empty, "." or "..", or the name holds a NUL: such a name leads
// to no place below the target.
bool SplitNameIntoParts(std::string_view name, std::vector<std::string>& parts);

// True when a part may begin a path below the target: no drive ("C:").
bool MayBeginPath(const std::string& part);

class TEntryPlaces {
public:
    explicit TEntryPlaces(const TArchiveIndex& index);

    // True when the folder's path leads to a place below the target.
    bool Placed(int32_t folder) const { return folders_[static_cast<size_t>(folder)].placed; }
    // The parts of the folder's own name.
    const std::vector<std::string>& PartsOf(int32_t folder) const { return folders_[static_cast<size_t>(folder)].parts; }
    // How many parts the folder's whole path has.
    size_t DepthOf(int32_t folder) const { return folders_[static_cast<size_t>(folder)].depth; }

    // Where an entry's file goes: the parts its own name adds to its folder's (for a name
    // that holds a separator) and its file name. False when the path leads to no place below
    // the target.
    bool PlaceFile(const TArchiveEntry& entry, std::vector<std::string>& nameFolders, std::string& fileName) const;

private:
    struct TFolder {
        std::vector<std::string> parts;
        size_t depth = 0;
        bool placed = true;
    };
    const TArchiveIndex& index_;
    std::vector<TFolder> folders_;
};

// Moves a folder cursor from the folder of one entry to the next one's, going up only to the
// folder the two share and down from there, as far as the names differ.
class TCursorMover {
public:
    TCursorMover(const TArchiveIndex& index, const TEntryPlaces& places, host::FolderCursor& cursor)
        : index_(index), places_(places), cursor_(cursor) {}

    // Stands in the entry's folder, and in the folders its own name adds (nameFolders). False,
    // with problem saying why, when a link is in the way (the cursor then stands above it);
    // any other failure raises.
    bool Enter(int32_t folder, const std::vector<std::string>& nameFolders, std::string& problem);

private:
    bool OnChain(int32_t folder) const;

    const TArchiveIndex& index_;
    const TEntryPlaces& places_;
    host::FolderCursor& cursor_;
    std::vector<int32_t> chain_{0};          // the index folders from the root to the current one
    std::vector<std::string> components_;    // their parts, then those of the last name
    size_t nameParts_ = 0;                   // how many at the end are the last name's
};
