// Writing below a folder without following links, part of the host module (see
// host_entries.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/host_entries.h"
#include "support/host_file.h"

struct stat;

namespace host {

// Writes into folders below a root directory without ever following a symbolic link that
// lies below it, so that a link planted there cannot send a write elsewhere. The root is
// opened once (a link naming the root itself is the caller's choice and is followed); every
// folder below it is entered by descriptor from its parent with O_NOFOLLOW and created with
// mkdirat where it is missing. The cursor stands in one folder at a time: moving to another
// goes up to the common ancestor through "..", each step checked against the identity the
// folder had when it was entered, and down from there, so a walk in depth-first order opens
// each folder about once, whatever the depth, with two descriptors open.
class FolderCursor {
public:
    explicit FolderCursor(const std::string& root);
    ~FolderCursor();
    FolderCursor(const FolderCursor&) = delete;
    FolderCursor& operator=(const FolderCursor&) = delete;

    // Stands in the folder the components name below the root, creating the missing ones.
    // False when one of them is a symbolic link: problem then names it and says why, and the
    // cursor stands in the folder above it. Any other failure (a file in the way, no
    // permission) raises.
    bool Enter(const std::vector<std::string>& components, std::string& problem);
    // The same for a caller that knows the first known components to be those it asked for
    // last: they are not compared again, so that moving between neighbouring folders costs
    // what differs, however deep they lie.
    bool Enter(const std::vector<std::string>& components, size_t known, std::string& problem);

    // Creates the file name afresh in the current folder and opens it for writing. Whatever
    // stood under that name (a file, a link, a hard link, a FIFO) is removed first, never
    // opened or written through. Null when the name is the file keep or a link to it, or a
    // folder: problem says why. Other failures raise.
    std::unique_ptr<HostFile> CreateFresh(const std::string& name, const FileIdentity& keep, std::string& problem);

    // As CreateFresh, but a file already under the name that is exactly what CreateFresh
    // would make (a regular file of one link, not keep, this user's, with the group and
    // permissions a new file gets here) is opened and written over instead: removing a file
    // and creating another costs the file system several times more than rewriting it.
    // oldSize is the length that file had (0 for a new one); the caller cuts whatever of it
    // its own content does not cover, so nothing of the old content survives.
    std::unique_ptr<HostFile> Rewrite(const std::string& name, const FileIdentity& keep, std::string& problem,
                                      int64_t& oldSize);

    // root/component/.../name, for messages.
    std::string PathOf(const std::string& name) const;

private:
    // What a file created in a folder inherits from it.
    struct GroupRule {
        bool inherits = false;  // the folder is set-group-ID: new files take its group
        uint32_t group = 0;
    };
    struct Level {
        std::string name;
        FileIdentity identity;
        GroupRule groupRule;
    };

    int CurrentFd() const { return levels_.empty() ? rootFd_ : fd_; }
    void GoUpTo(size_t depth);
    bool GoDown(const std::string& name, std::string& problem);

    bool MatchesNewFile(const struct stat& st) const;

    std::string root_;
    int rootFd_ = -1;
    uint32_t newFileMode_ = 0;  // the permissions a created file gets (0666 less the umask)
    uint32_t user_ = 0;         // the owner a created file gets (the effective user)
    uint32_t group_ = 0;        // its group where the folder does not pass its own on
    GroupRule rootGroupRule_;
    int fd_ = -1;                // the current folder's, when below the root
    std::vector<Level> levels_;  // from the root down to the current folder
};

}  // namespace host
