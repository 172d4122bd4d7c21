// Trees of folders nested thousands deep, on disk and as archives, for the tests that every
// walk goes as deep as the file system allows. Each is made and removed one folder at a
// time by descriptor: a path to the bottom of one is longer than the kernel takes.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "helpers/small_disk.h"
#include "helpers/temp_dir.h"
#include "support/bytes.h"

// A chain of folders: the folder at level 0 is the root; each level below depth holds the
// folder "d" of the next level; level k holds the file "f<k>.txt" (content "level <k>")
// when fileAt(k).
using TLevelFilter = std::function<bool(int level)>;

// The content of the file at level k.
std::string ChainFileContent(int level);

// Makes the chain below the existing folder root.
void MakeFolderChain(const std::string& root, int depth, const TLevelFilter& fileAt);

// The archive make builds from such a chain, laid out byte by byte: every folder record
// within its parent's, the files' streams from the deepest level up.
TArrayOfByte FolderChainArchive(int depth, const TLevelFilter& fileAt, bool bigEndian);

// Removes root and everything below it, however deep.
void RemoveDeepTree(const std::string& root);

// Where a test puts deep trees: a tmpfs of its own where one can be mounted (on a disk,
// removing a tree thousands of folders deep takes seconds; an unmounted tmpfs is gone at
// once), else a temporary folder, emptied one folder at a time.
class DeepTreePlace {
public:
    DeepTreePlace();
    ~DeepTreePlace();
    DeepTreePlace(const DeepTreePlace&) = delete;
    DeepTreePlace& operator=(const DeepTreePlace&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::unique_ptr<SmallDisk> disk_;
    std::unique_ptr<TempDir> dir_;
    std::string path_;
};
