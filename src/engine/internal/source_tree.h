// The walk of a source tree on the host, as building an archive and replacing from a folder
// both take it: every folder below a directory listed once, its entries sorted as make stores
// them, and no folder entered twice on one path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/notices.h"
#include "support/host_entries.h"

// A stream of the archive being edited that an entry keeps: copied byte for byte into the
// new archive in place of a file compressed afresh.
struct TKeptStream {
    int64_t start = 0;  // in the old archive's file
    int32_t packedSize = 0;
    int32_t unpackedSize = 0;
};

// Where a file of an edited tree gets its content: a host file, or a stream it keeps.
struct TFileOrigin {
    std::string hostPath;
    std::optional<TKeptStream> kept;
};

// One folder of the tree. Each list is sorted by CollationLess.
struct TSourceFolder {
    std::vector<host::DirEntry> folders;  // sub-folders, links to folders included
    std::vector<TSourceFolder> children;  // one per sub-folder
    std::vector<host::DirEntry> files;    // every other entry whose name holds no "\"
    // Entries whose names hold a "\", folders included: an archive path would take it for a
    // folder separator, so no such entry can be stored or stand for an entry.
    std::vector<host::DirEntry> unstorable;
    bool linksBack = false;  // a link to a folder on its own path: not listed
    std::string unreadable;  // why the folder could not be listed to its end; "" when it was
    // Empty for a tree listed from the host, whose files are the host's files below its root;
    // one per file for a tree an edit put together from an archive and the host.
    std::vector<TFileOrigin> origins;
};

// Why the host folder root cannot be packed or compared at all, in words for the user: it is
// missing, no folder, or cannot be listed. "" when it can be listed.
std::string SourceFolderProblem(const std::string& root);

// Lists the tree below the host directory root, the sub-folders of each folder in turn. A
// link to a folder is entered, except when that folder (device and inode) is already on the
// path from root down to it: a link loop never makes the walk endless. With keepCallerAlive,
// the operation on this thread hears from the walk (KeepAlive) before each folder is listed.
TSourceFolder ListSourceTree(const std::string& root, bool keepCallerAlive);

// Takes the files that are one of leftOut (device and inode) out of the listed tree: an
// archive is never any part of its own content.
void LeaveOutFiles(TSourceFolder& tree, const std::vector<host::FileIdentity>& leftOut);

// Tells in notices what of a listed tree cannot be taken: each folder that could not be
// listed to its end, and each name that holds a "\" (as `what "path": ...`). False when
// there was any.
bool TellUntakeable(const std::string& root, const TSourceFolder& tree, const std::string& what, TNotices* notices);

// A file of a listed tree, under the path the archive stores it at.
struct TSourceFile {
    std::string archivePath;  // "\" between the folders
    std::string hostPath;
    const host::DirEntry* entry;  // in the tree it was collected from
    std::optional<TKeptStream> kept;  // set: the stream is copied, hostPath is not read
};

// Every file of a listed tree in the order an archive built from it stores them: a folder's
// sub-folder trees first, then its own files.
std::vector<TSourceFile> SourceFilesOf(const std::string& root, const TSourceFolder& tree);
