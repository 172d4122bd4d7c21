// The tree below a folder as `make` packs it: which folders and files it holds, in the order
// they are stored, and under which archive paths. Building and comparing an archive with a
// folder both walk it through here, so both see the same names and leave out the same files.
#pragma once

#include <string>
#include <vector>

#include "support/host.h"

// One folder of the tree: its sub-folders and files, each list in collation order.
struct TFolderNode {
    std::vector<host::DirEntry> subFolders;
    std::vector<TFolderNode> children;  // one per sub-folder
    std::vector<host::DirEntry> files;
    // Entries whose names hold a "\": the archive's separator cannot be part of a stored
    // name, so they are never read, and each is a failure.
    std::vector<host::DirEntry> unstorable;
    bool linksBack = false;             // a link to a folder on its own path: not listed
    int32_t archivesHeld = 0;           // a file left out (the archive itself) stood here
    std::string unreadable;             // why the folder could not be listed to its end
};

// Lists the tree below root into tree, except the files named in leftOut (the archive being
// written, or the one it replaces) and the folders a link leads back to along its own path.
// A folder that cannot be listed keeps what was read of it and the reason.
void ListPackedTree(const std::string& root, const std::vector<host::FileIdentity>& leftOut, TFolderNode& tree);

// A file of a listed tree.
struct TTreeFile {
    std::string archivePath;  // "\" between the folders, as the archive stores it
    std::string hostPath;
    const host::DirEntry* entry;  // in the tree it was collected from
};

// Every file of a listed tree in the order `make` stores them: a folder's sub-folder trees
// first, then its own files.
std::vector<TTreeFile> PackedFilesOf(const std::string& root, const TFolderNode& tree);
