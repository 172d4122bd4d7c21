// An archive's folders and files as a tree that an edit changes before the archive is written
// anew: entries keep their streams until something replaces or removes them, host files and
// folders are put in, and the result becomes the listed tree a build writes.
#pragma once

#include "engine/internal_header.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/editing/edit_counts.h"
#include "engine/format/archive_index.h"
#include "engine/building/internal/source_tree.h"
#include "support/host_entries.h"

struct TEditFile {
    host::DirEntry entry;  // its name in the archive; for a host file, what the host said of it
    TFileOrigin origin;    // a kept stream, or the host file that gives new content
    bool removed = false;
};

// The folders of an archive may nest hundreds of thousands deep: a folder frees the folders
// below it without going deeper into the stack with their depth, and is never copied.
struct TEditFolder {
    TEditFolder() = default;
    ~TEditFolder();
    TEditFolder(const TEditFolder&) = delete;
    TEditFolder& operator=(const TEditFolder&) = delete;

    std::string name;
    TEditFolder* parent = nullptr;  // none for the root
    std::vector<std::unique_ptr<TEditFolder>> folders;
    std::vector<TEditFile> files;
    bool removed = false;
    bool heldSomething = false;  // before the edit
    // The folder of each key (EntryPathKey of the name), and the files of each key in order,
    // by index. The files' index is made when the folder is first looked into: an edit looks
    // into a few folders of the thousands an archive holds.
    std::unordered_map<std::string, size_t> folderOfKey;
    std::unordered_map<std::string, std::vector<size_t>> filesOfKey;
    bool filesIndexed = false;
};

class TEditTree {
public:
    // The tree of an archive's directory. Folder records of one folder whose names share a
    // key become one folder, as a folder on disk would hold their content.
    explicit TEditTree(const TArchiveIndex& index);

    TEditFolder& Root() { return root_; }

    // The folder the typed path names, made with every folder it needs (named as typed);
    // nullptr when a file stands where a folder is needed, and collision says where.
    TEditFolder* MakeFolder(const std::string& typedPath, std::string& collision);

    // Puts a host file into folder: the entry of its key that still has its stream gets its
    // content (the one of exactly its name, else the one name of its key), else it is added
    // under its own name. False when a folder of that key is there, a file of exactly that
    // name was put in before, or entries of two names that differ only in letter case, none
    // of them its own, share its key (collision says which).
    // origin names the host file (a path, or a file of a listed tree that outlives the edit).
    bool PutFile(TEditFolder& folder, const host::DirEntry& entry, const TFileOrigin& origin, TEditCounts& counts,
                 std::string& collision);

    // Puts the files and folders of a listed host tree into folder, folder by folder, each
    // folder's sub-folders before its files. The tree must outlive the edit: its files are
    // read from it. False at the first collision.
    bool PutTree(TEditFolder& folder, const TListedTree& tree, TEditCounts& counts, std::string& collision);

    // Removes the files and folders the typed archive path names: of the files, those of
    // exactly the last name typed, else those of the one name of its key. False when it names
    // none; false too, with problem saying why, when files of two names that differ only in
    // letter case, none of them the one typed, share its key.
    bool Remove(const std::string& typedPath, TEditCounts& counts, std::string& problem);

    // Removes the folders that held something before and hold nothing now, from the deepest.
    void RemoveEmptied(TEditCounts& counts);

    // The tree as a build lists it: each folder's folders and files in collation order, every
    // file with its origin.
    TListedTree Listed() const;

private:
    TEditFolder root_;
};
