#include "engine/packed_tree.h"

#include <algorithm>
#include <utility>

#include "support/collation.h"
#include "support/paths.h"
#include "support/progress.h"

namespace {

struct TTreeWalk {
    const std::string& root;
    const std::vector<host::FileIdentity>& leftOut;
    // The folders from the root down to the one being listed, by identity: a link back to
    // one of them is not entered again.
    std::vector<host::FileIdentity> ancestors;
};

bool IsOnCurrentPath(const TTreeWalk& walk, const host::FileIdentity& identity) {
    return std::find(walk.ancestors.begin(), walk.ancestors.end(), identity) != walk.ancestors.end();
}

bool IsLeftOut(const TTreeWalk& walk, const host::DirEntry& entry) {
    if (entry.info.kind != host::EntryKind::File) return false;
    return std::find(walk.leftOut.begin(), walk.leftOut.end(), entry.info.identity) != walk.leftOut.end();
}

bool HoldsSeparator(const host::DirEntry& entry) { return entry.name.find('\\') != std::string::npos; }

bool NameLess(const host::DirEntry& a, const host::DirEntry& b) { return CollationLess(a.name, b.name); }

void ListFolder(TTreeWalk& walk, const std::string& folder, TFolderNode& node) {
    KeepAlive();
    host::DirListing listing = host::ListDirectory(HostPathBelow(walk.root, folder));
    if (listing.errorCode != 0) node.unreadable = host::ErrorText(listing.errorCode);
    for (host::DirEntry& entry : listing.entries) {
        if (HoldsSeparator(entry)) node.unstorable.push_back(std::move(entry));
        else if (entry.info.kind == host::EntryKind::Directory) node.subFolders.push_back(std::move(entry));
        else if (IsLeftOut(walk, entry)) ++node.archivesHeld;  // no part of its own content
        else node.files.push_back(std::move(entry));
    }
    std::sort(node.subFolders.begin(), node.subFolders.end(), NameLess);
    std::sort(node.files.begin(), node.files.end(), NameLess);
    std::sort(node.unstorable.begin(), node.unstorable.end(), NameLess);

    node.children.resize(node.subFolders.size());
    for (size_t k = 0; k < node.subFolders.size(); ++k) {
        const host::DirEntry& entry = node.subFolders[k];
        if (IsOnCurrentPath(walk, entry.info.identity)) {
            node.children[k].linksBack = true;
            continue;
        }
        walk.ancestors.push_back(entry.info.identity);
        ListFolder(walk, folder + entry.name + "\\", node.children[k]);
        walk.ancestors.pop_back();
    }
}

void CollectFiles(const std::string& root, const TFolderNode& node, const std::string& folder,
                  std::vector<TTreeFile>& files) {
    for (size_t k = 0; k < node.subFolders.size(); ++k)
        CollectFiles(root, node.children[k], folder + node.subFolders[k].name + "\\", files);
    for (const host::DirEntry& entry : node.files)
        files.push_back({folder + entry.name, HostPathBelow(root, folder + entry.name), &entry});
}

}  // namespace

void ListPackedTree(const std::string& root, const std::vector<host::FileIdentity>& leftOut, TFolderNode& tree) {
    TTreeWalk walk{root, leftOut, {host::Stat(root).identity}};
    tree = TFolderNode{};
    ListFolder(walk, "", tree);
}

std::vector<TTreeFile> PackedFilesOf(const std::string& root, const TFolderNode& tree) {
    std::vector<TTreeFile> files;
    CollectFiles(root, tree, "", files);
    return files;
}
