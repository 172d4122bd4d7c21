// The walk of a source tree on the host, as building an archive and replacing from a folder
// both take it: every folder below a directory listed once, its entries sorted as make stores
// them, and no folder entered twice on one path.
//
// A listed tree is flat: its folders stand in one list and name each other by index, so that
// no walk of it, and neither freeing nor copying it, goes deeper into the stack with the
// depth of the tree. Nothing in it holds a path: a file's path is made from its folder's
// chain of names when it is needed, and let go of after.
#pragma once

#include "engine/internal_header.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
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

struct TListedTree;

// Where a file of an edited tree gets its content: a stream it keeps, a host file given by
// its path, or a file of a listed host tree (by its folder there and its name).
struct TFileOrigin {
    std::string hostPath;  // a file given by path; "" otherwise
    const TListedTree* tree = nullptr;  // set: the file name of folder in that tree
    size_t folder = 0;
    std::string name;
    std::optional<TKeptStream> kept;

    static TFileOrigin OfPath(std::string path) {
        TFileOrigin origin;
        origin.hostPath = std::move(path);
        return origin;
    }
    static TFileOrigin InTree(const TListedTree& tree, size_t folder, std::string name) {
        TFileOrigin origin;
        origin.tree = &tree;
        origin.folder = folder;
        origin.name = std::move(name);
        return origin;
    }
};

inline constexpr size_t kNoFolder = static_cast<size_t>(-1);

// One folder of a listed tree. Each list is sorted by CollationLess.
struct TSourceFolder {
    std::vector<host::DirEntry> folders;  // sub-folders, links to folders included
    std::vector<host::DirEntry> files;    // every other entry whose name holds no "\"
    // Entries whose names hold a "\", folders included: an archive path would take it for a
    // folder separator, so no such entry can be stored or stand for an entry.
    std::vector<host::DirEntry> unstorable;
    bool linksBack = false;  // a link to a folder on its own path: not listed
    std::string unreadable;  // why the folder could not be listed to its end; "" when it was
    // Empty for a tree listed from the host, whose files are the host's files below its root;
    // one per file for a tree an edit put together from an archive and the host.
    std::vector<TFileOrigin> origins;
    size_t parent = kNoFolder;  // the folder that holds it; kNoFolder for the root
    size_t depth = 0;           // of folders above it
    // Its sub-folders stand in the tree one after the other from this index, in the order of
    // folders.
    size_t firstChild = 0;
};

struct TListedTree {
    std::string hostRoot;  // the host folder it was listed from; "" for an edited tree
    std::vector<TSourceFolder> folders;  // the root first
    // Tells this tree from any other one the paths made of a tree are remembered for.
    uint64_t serial = NewSerial();

    TSourceFolder& Root() { return folders[0]; }
    const TSourceFolder& Root() const { return folders[0]; }
    // The index of the k-th sub-folder of the folder at index folder.
    size_t Child(size_t folder, size_t k) const { return folders[folder].firstChild + k; }
    // The name the folder at index folder has in the one that holds it ("" for the root).
    const std::string& NameOf(size_t folder) const;
    // Adds an empty folder for each of the folder's sub-folders, and sets its firstChild.
    void AddChildren(size_t folder);
    // The folder's path below the root in the archive's form: "" or ending in "\\".
    std::string ArchiveFolderPath(size_t folder) const;
    // The host path of the entry name of the folder; the folder's own when name is empty.
    // Each thread remembers the folder it made a path for last: the paths of the files of a
    // tree, made in the order of a walk, each cost the names that differ from the last one.
    std::string HostPath(size_t folder, const std::string& name) const;

    static uint64_t NewSerial();
};

// Walks the tree depth first, as a recursion would but without one: visit.Enter(folder) when
// a folder is entered; visit.Descend(folder, k) before its k-th sub-folder, which is entered
// only when that returns true; visit.Ascended(folder, k) after that sub-folder (its tree
// walked, or not entered); visit.Leave(folder) after the last.
template <typename TVisit>
void WalkDepthFirst(const TListedTree& tree, TVisit& visit) {
    struct TFrame {
        size_t folder;
        size_t next;
    };
    std::vector<TFrame> stack{{0, 0}};
    visit.Enter(size_t{0});
    while (!stack.empty()) {
        const size_t folder = stack.back().folder;
        const size_t k = stack.back().next;
        if (k == tree.folders[folder].folders.size()) {
            visit.Leave(folder);
            stack.pop_back();
            if (!stack.empty()) visit.Ascended(stack.back().folder, stack.back().next - 1);
            continue;
        }
        ++stack.back().next;
        if (!visit.Descend(folder, k)) {
            visit.Ascended(folder, k);
            continue;
        }
        const size_t child = tree.Child(folder, k);
        visit.Enter(child);
        stack.push_back({child, 0});
    }
}

// Why the host folder root cannot be packed or compared at all, in words for the user: it is
// missing, no folder, or cannot be listed. "" when it can be listed.
std::string SourceFolderProblem(const std::string& root);

// Lists the tree below the host directory root, the sub-folders of each folder in turn, each
// folder opened from the one above it, so the tree may be deeper than a path can be long. A
// link to a folder is entered, except when that folder (device and inode) is already on the
// path from root down to it: a link loop never makes the walk endless. With keepCallerAlive,
// the operation on this thread hears from the walk (KeepAlive) before each folder is listed.
TListedTree ListSourceTree(const std::string& root, bool keepCallerAlive);

// Takes the files that are one of leftOut (device and inode) out of the listed tree: an
// archive is never any part of its own content.
void LeaveOutFiles(TListedTree& tree, const std::vector<host::FileIdentity>& leftOut);

// Tells in notices what of a listed tree cannot be taken: each folder that could not be
// listed to its end, and each name that holds a "\" (as `what "path": ...`). False when
// there was any.
bool TellUntakeable(const TListedTree& tree, const std::string& what, TNotices* notices);

// Why a listed entry that is no regular file cannot be read, in words for the user.
std::string UnreadableEntryText(const host::EntryInfo& info);

// A file of a listed tree.
struct TSourceFile {
    const host::DirEntry* entry;  // in the tree it was collected from
    std::optional<TKeptStream> kept;  // set: the stream is copied, the host file is not read
    const TListedTree* tree = nullptr;
    size_t folder = 0;                  // in tree
    const TFileOrigin* origin = nullptr;  // in tree, for an edited tree
};

// The path the archive stores the file at ("\" between the folders), and the path of the
// host file it is read from. Each is made anew at each call.
std::string ArchivePathOf(const TSourceFile& file);
std::string HostPathOf(const TSourceFile& file);
std::string HostPathOf(const TFileOrigin& origin);

// Every file of a listed tree in the order an archive built from it stores them: a folder's
// sub-folder trees first, then its own files.
std::vector<TSourceFile> SourceFilesOf(const TListedTree& tree);
