#include "engine/internal/source_tree.h"

#include <algorithm>

#include "support/collation.h"
#include "support/paths.h"
#include "support/progress.h"

namespace {

struct TTreeWalk {
    const std::string& root;
    bool keepCallerAlive;
    // The folders from the root down to the one being listed, by identity.
    std::vector<host::FileIdentity> ancestors;
};

bool NameLess(const host::DirEntry& a, const host::DirEntry& b) { return CollationLess(a.name, b.name); }

bool HoldsSeparator(const host::DirEntry& entry) { return entry.name.find('\\') != std::string::npos; }

bool IsOnPath(const TTreeWalk& walk, const host::FileIdentity& identity) {
    return std::find(walk.ancestors.begin(), walk.ancestors.end(), identity) != walk.ancestors.end();
}

// folder is relative to the root, in the archive's form: "" or ending in "\\".
void ListFolder(TTreeWalk& walk, const std::string& folder, TSourceFolder& node) {
    if (walk.keepCallerAlive) KeepAlive();
    host::DirListing listing = host::ListDirectory(HostPathBelow(walk.root, folder));
    if (listing.errorCode != 0) node.unreadable = host::ErrorText(listing.errorCode);
    for (host::DirEntry& entry : listing.entries) {
        if (HoldsSeparator(entry)) node.unstorable.push_back(std::move(entry));
        else if (entry.info.kind == host::EntryKind::Directory) node.folders.push_back(std::move(entry));
        else node.files.push_back(std::move(entry));
    }
    for (auto* part : {&node.folders, &node.files, &node.unstorable}) std::sort(part->begin(), part->end(), NameLess);

    node.children.resize(node.folders.size());
    for (size_t k = 0; k < node.folders.size(); ++k) {
        const host::DirEntry& entry = node.folders[k];
        if (IsOnPath(walk, entry.info.identity)) {
            node.children[k].linksBack = true;
            continue;
        }
        walk.ancestors.push_back(entry.info.identity);
        ListFolder(walk, folder + entry.name + "\\", node.children[k]);
        walk.ancestors.pop_back();
    }
}

}  // namespace

TSourceFolder ListSourceTree(const std::string& root, bool keepCallerAlive) {
    TTreeWalk walk{root, keepCallerAlive, {host::Stat(root).identity}};
    TSourceFolder tree;
    ListFolder(walk, "", tree);
    return tree;
}

void LeaveOutFiles(TSourceFolder& tree, const std::vector<host::FileIdentity>& leftOut) {
    std::erase_if(tree.files, [&](const host::DirEntry& entry) {
        return entry.info.kind == host::EntryKind::File &&
               std::find(leftOut.begin(), leftOut.end(), entry.info.identity) != leftOut.end();
    });
    for (TSourceFolder& child : tree.children) LeaveOutFiles(child, leftOut);
}

namespace {

void AppendSourceFiles(const std::string& root, const TSourceFolder& node, const std::string& folder,
                       std::vector<TSourceFile>& files) {
    for (size_t k = 0; k < node.folders.size(); ++k)
        AppendSourceFiles(root, node.children[k], folder + node.folders[k].name + "\\", files);
    for (const host::DirEntry& entry : node.files)
        files.push_back({folder + entry.name, HostPathBelow(root, folder + entry.name), &entry});
}

}  // namespace

std::vector<TSourceFile> SourceFilesOf(const std::string& root, const TSourceFolder& tree) {
    std::vector<TSourceFile> files;
    AppendSourceFiles(root, tree, "", files);
    return files;
}
