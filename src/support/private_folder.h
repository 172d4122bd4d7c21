// A folder of this user's own for files handed to another program (the entries dragged out
// of the window), part of the host module (see host_entries.h).
//
// Such a folder lies in a folder for temporary files that other users share. Where they
// could rename or remove names there (a folder writable by others and not sticky, or one of
// another user's), they could put a link to the user's own folder under the private
// folder's name, and a removal that follows it would empty that folder. So the folder is
// made only where no other user can change the names, and removed through descriptors that
// never follow a link, only while its name still stands for the folder that was made.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/host_entries.h"

namespace host {

// A folder that may hold private folders; source names it for the user ("$TMPDIR"). An
// empty path stands for a variable that is not set.
struct TemporaryFolder {
    std::string path;
    std::string source;
};

// The folders for temporary files, in the order they are tried: $TMPDIR (/tmp when it is
// unset or empty), then $XDG_RUNTIME_DIR.
std::vector<TemporaryFolder> TemporaryFolders();

class PrivateFolder {
public:
    // Makes a new folder, this user's alone (mode 0700), named prefix and six random letters,
    // in the first of folders that no other user can change: each folder from the root of the
    // file system down to it belongs to this user or to root, and is writable by its owner
    // alone or sticky. Null when none will do: problem then says why of each, one a line.
    static std::unique_ptr<PrivateFolder> Make(const std::vector<TemporaryFolder>& folders, const std::string& prefix,
                                               std::string& problem);
    // Removes the folder as Remove does; what cannot be removed stays, unsaid.
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // The folder's path, with no symbolic link in it.
    const std::string& Path() const { return path_; }

    // Removes the folder and everything below it (see RemoveFolderTreeAt). False when
    // something stays: problem then says what and why.
    bool Remove(std::string& problem);

private:
    PrivateFolder(int parentFd, std::string path, std::string name, const FileIdentity& identity);

    int parentFd_ = -1;  // the folder that holds it, as it was checked
    std::string path_;
    std::string name_;
    FileIdentity identity_;
    bool removed_ = false;
};

// Removes the folder name of the open folder parent with everything below it, only when it
// is still the folder identity: another folder, or a link, under that name is left alone.
// No symbolic link below it is ever followed (a link is removed as itself), and the walk
// keeps two descriptors and no recursion, whatever the depth: each folder is entered from
// its parent with O_NOFOLLOW and left through "..", checked against the identity its parent
// had. path names the folder in problem. False when something stays: problem says what.
bool RemoveFolderTreeAt(int parent, const std::string& name, const FileIdentity& identity, const std::string& path,
                        std::string& problem);

}  // namespace host
