// Reading down a tree of folders by descriptor, part of the host module (see host_entries.h).
// The paths longer than the kernel takes that the module opens (host_internal.h) are
// resolved through such a chain.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "support/host_entries.h"

namespace host {

// A walk down a tree of folders, each folder opened from the one above it by descriptor, so
// that it goes as deep as the file system allows whatever the length of the folders' paths.
// A link to a folder is followed, as the kernel follows one inside a path. The folders near
// the start stay open; a deeper one is closed when the walk goes below it and opened again
// from below through "..", checked against the identity it had, when the walk comes back
// (from the nearest open folder above, by name, when ".." leads elsewhere, as it does from a
// folder entered through a link). A walk in depth-first order so holds a bounded number of
// descriptors and costs a few calls per folder, whatever the depth.
class FolderChain {
public:
    FolderChain() = default;
    ~FolderChain();
    FolderChain(const FolderChain&) = delete;
    FolderChain& operator=(const FolderChain&) = delete;

    // Starts over at the host folder path. 0, or the OS error code; the chain then is empty.
    int Start(const std::string& path);
    // Goes into the sub-folder name of the current folder. 0, or the OS error code; the
    // chain then stays where it was.
    int Enter(const std::string& name);
    // Goes back up to the folder the current one was entered from. 0, or the OS error code
    // of opening that folder again; the chain then is empty.
    int Leave();
    // Lets go of every folder.
    void Clear();

    bool Empty() const { return levels_.empty(); }
    // The folders entered below the start.
    size_t Depth() const { return levels_.size() - 1; }
    // The name the folder at depth was entered by (0: the start's path).
    const std::string& NameAt(size_t depth) const { return levels_[depth].name; }
    FileIdentity Identity() const { return levels_.back().identity; }
    FileIdentity IdentityAt(size_t depth) const { return levels_[depth].identity; }
    // An open descriptor of the current folder (O_PATH): for the *at calls of this module.
    int Descriptor() const { return levels_.back().fd; }

    // Every entry of the current folder, as ListDirectory gives them.
    DirListing List() const;

private:
    struct Level {
        std::string name;
        FileIdentity identity;
        int fd = -1;  // -1: closed while the walk is below it
    };

    int Reopen(size_t depth);

    std::vector<Level> levels_;
};

}  // namespace host
