#include "engine/building/internal/source_tree.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <unordered_set>

#include "support/collation.h"
#include "support/folder_chain.h"
#include "support/paths.h"
#include "support/progress.h"

namespace {

struct TIdentityHash {
    size_t operator()(const host::FileIdentity& identity) const {
        return std::hash<uint64_t>()(identity.inode * 0x9E3779B97F4A7C15ull ^ identity.device);
    }
};

using TIdentities = std::unordered_set<host::FileIdentity, TIdentityHash>;

bool NameLess(const host::DirEntry& a, const host::DirEntry& b) { return CollationLess(a.name, b.name); }

bool HoldsSeparator(const host::DirEntry& entry) { return entry.name.find('\\') != std::string::npos; }

// Sorts the listing into the folder at index and makes room for its sub-folders.
void ListInto(TListedTree& tree, size_t index, host::DirListing listing) {
    TSourceFolder& node = tree.folders[index];
    if (listing.errorCode != 0) node.unreadable = host::ErrorText(listing.errorCode);
    for (host::DirEntry& entry : listing.entries) {
        if (HoldsSeparator(entry)) node.unstorable.push_back(std::move(entry));
        else if (entry.info.kind == host::EntryKind::Directory) node.folders.push_back(std::move(entry));
        else node.files.push_back(std::move(entry));
    }
    for (auto* part : {&node.folders, &node.files, &node.unstorable}) std::sort(part->begin(), part->end(), NameLess);
    tree.AddChildren(index);
}

struct TListingFrame {
    size_t folder;
    size_t next;  // the sub-folder to list next
};

// The walk cannot go back up to the folders it came from: what they hold beyond what was
// listed is unreadable.
void GiveUpListing(TListedTree& tree, const std::vector<TListingFrame>& stack, int code) {
    for (const TListingFrame& frame : stack) {
        TSourceFolder& node = tree.folders[frame.folder];
        if (frame.next < node.folders.size() && node.unreadable.empty()) node.unreadable = host::ErrorText(code);
        for (size_t k = frame.next; k < tree.folders[frame.folder].folders.size(); ++k)
            tree.folders[tree.Child(frame.folder, k)].unreadable = host::ErrorText(code);
    }
}

}  // namespace

const std::string& TListedTree::NameOf(size_t folder) const {
    static const std::string kRootName;
    const size_t parent = folders[folder].parent;
    if (parent == kNoFolder) return kRootName;
    return folders[parent].folders[folder - folders[parent].firstChild].name;
}

void TListedTree::AddChildren(size_t folder) {
    const size_t count = folders[folder].folders.size();
    const size_t first = folders.size();
    folders[folder].firstChild = first;
    folders.resize(first + count);
    for (size_t k = first; k < folders.size(); ++k) {
        folders[k].parent = folder;
        folders[k].depth = folders[folder].depth + 1;
    }
}

uint64_t TListedTree::NewSerial() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}

namespace {

// The path of the folder a thread made a path for last, each name followed by separator.
struct TFolderPathMemo {
    uint64_t tree = 0;
    size_t folder = 0;
    std::string path;
};

// Makes the memo hold the path of the folder, base being the root's: from the folder it
// holds, up to the folder both lie below and down again.
const std::string& PathOfFolder(const TListedTree& tree, size_t folder, TFolderPathMemo& memo, const std::string& base,
                                char separator) {
    if (memo.tree != tree.serial) memo = {tree.serial, 0, base};
    size_t from = memo.folder;
    size_t to = folder;
    std::vector<size_t> down;
    const auto climb = [&](size_t& at) {
        memo.path.resize(memo.path.size() - tree.NameOf(at).size() - 1);
        at = tree.folders[at].parent;
    };
    while (tree.folders[from].depth > tree.folders[to].depth) climb(from);
    while (tree.folders[to].depth > tree.folders[from].depth) {
        down.push_back(to);
        to = tree.folders[to].parent;
    }
    while (from != to) {
        climb(from);
        down.push_back(to);
        to = tree.folders[to].parent;
    }
    for (auto k = down.rbegin(); k != down.rend(); ++k) {
        memo.path += tree.NameOf(*k);
        memo.path += separator;
    }
    memo.folder = folder;
    return memo.path;
}

thread_local TFolderPathMemo archivePaths;
thread_local TFolderPathMemo hostPaths;

}  // namespace

std::string TListedTree::ArchiveFolderPath(size_t folder) const {
    return PathOfFolder(*this, folder, archivePaths, "", '\\');
}

std::string TListedTree::HostPath(size_t folder, const std::string& name) const {
    std::string path = PathOfFolder(*this, folder, hostPaths, HostPathBelow(hostRoot, ""), '/');
    if (name.empty() && path.size() > 1 && path.back() == '/') path.pop_back();
    return path + name;
}

std::string SourceFolderProblem(const std::string& root) {
    const host::EntryInfo info = host::Stat(root);
    if (info.kind == host::EntryKind::Missing) return host::ErrorText(info.errorCode);
    if (info.kind != host::EntryKind::Directory) return "it is not a folder";
    const int code = host::ListDirectory(root).errorCode;
    return code == 0 ? "" : host::ErrorText(code);
}

TListedTree ListSourceTree(const std::string& root, bool keepCallerAlive) {
    TListedTree tree{root, {TSourceFolder{}}};
    if (keepCallerAlive) KeepAlive();
    host::FolderChain chain;
    if (const int code = chain.Start(root)) {
        tree.Root().unreadable = host::ErrorText(code);
        return tree;
    }
    // The folders from the root down to the one being listed, by identity.
    TIdentities onPath{chain.Identity()};
    ListInto(tree, 0, chain.List());
    std::vector<TListingFrame> stack{{0, 0}};
    while (!stack.empty()) {
        const size_t folder = stack.back().folder;
        const size_t k = stack.back().next;
        if (k == tree.folders[folder].folders.size()) {
            stack.pop_back();
            if (stack.empty()) break;
            onPath.erase(chain.Identity());
            if (const int code = chain.Leave()) {
                GiveUpListing(tree, stack, code);
                break;
            }
            continue;
        }
        ++stack.back().next;
        const size_t child = tree.Child(folder, k);
        if (onPath.count(tree.folders[folder].folders[k].info.identity) != 0) {
            tree.folders[child].linksBack = true;
            continue;
        }
        if (keepCallerAlive) KeepAlive();
        if (const int code = chain.Enter(tree.folders[folder].folders[k].name)) {
            tree.folders[child].unreadable = host::ErrorText(code);
            continue;
        }
        onPath.insert(chain.Identity());
        ListInto(tree, child, chain.List());
        stack.push_back({child, 0});
    }
    return tree;
}

void LeaveOutFiles(TListedTree& tree, const std::vector<host::FileIdentity>& leftOut) {
    for (TSourceFolder& folder : tree.folders) {
        std::erase_if(folder.files, [&](const host::DirEntry& entry) {
            return entry.info.kind == host::EntryKind::File &&
                   std::find(leftOut.begin(), leftOut.end(), entry.info.identity) != leftOut.end();
        });
    }
}

bool TellUntakeable(const TListedTree& tree, const std::string& what, TNotices* notices) {
    bool none = true;
    // Folder by folder in the order of the walk, each before the folders below it.
    struct TTeller {
        const TListedTree& tree;
        const std::string& what;
        TNotices* notices;
        bool& none;

        void Enter(size_t folder) {
            const TSourceFolder& node = tree.folders[folder];
            if (!node.unreadable.empty()) {
                none = false;
                const std::string path = tree.HostPath(folder, "");
                Notify(notices, path, NoticeText("cannot read the folder", path, node.unreadable));
            }
            for (const host::DirEntry& entry : node.unstorable) {
                none = false;
                const std::string path = tree.HostPath(folder, entry.name);
                Notify(notices, path,
                       NoticeText(what, path,
                                  "the name holds a backslash, which the archive takes for a folder separator"));
            }
        }
        bool Descend(size_t, size_t) { return true; }
        void Ascended(size_t, size_t) {}
        void Leave(size_t) {}
    } teller{tree, what, notices, none};
    WalkDepthFirst(tree, teller);
    return none;
}

std::string UnreadableEntryText(const host::EntryInfo& info) {
    if (info.kind == host::EntryKind::Missing) return host::ErrorText(info.errorCode);
    if (info.danglingLink && (info.errorCode == ENOENT || info.errorCode == ENOTDIR))
        return "a symbolic link to a missing file";
    if (info.danglingLink) return "a symbolic link that cannot be followed: " + host::ErrorText(info.errorCode);
    return "not a regular file";
}

std::string ArchivePathOf(const TSourceFile& file) {
    return file.tree->ArchiveFolderPath(file.folder) + file.entry->name;
}

std::string HostPathOf(const TFileOrigin& origin) {
    return origin.tree != nullptr ? origin.tree->HostPath(origin.folder, origin.name) : origin.hostPath;
}

std::string HostPathOf(const TSourceFile& file) {
    if (file.origin != nullptr) return HostPathOf(*file.origin);
    return file.tree->HostPath(file.folder, file.entry->name);
}

std::vector<TSourceFile> SourceFilesOf(const TListedTree& tree) {
    std::vector<TSourceFile> files;
    struct TCollector {
        const TListedTree& tree;
        std::vector<TSourceFile>& files;

        void Enter(size_t) {}
        bool Descend(size_t, size_t) { return true; }
        void Ascended(size_t, size_t) {}
        void Leave(size_t folder) {
            const TSourceFolder& node = tree.folders[folder];
            for (size_t k = 0; k < node.files.size(); ++k) {
                const TFileOrigin* origin = node.origins.empty() ? nullptr : &node.origins[k];
                files.push_back({&node.files[k], origin != nullptr ? origin->kept : std::nullopt, &tree, folder, origin});
            }
        }
    } collector{tree, files};
    WalkDepthFirst(tree, collector);
    return files;
}
