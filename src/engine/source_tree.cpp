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

std::string SourceFolderProblem(const std::string& root) {
    const host::EntryInfo info = host::Stat(root);
    if (info.kind == host::EntryKind::Missing) return host::ErrorText(info.errorCode);
    if (info.kind != host::EntryKind::Directory) return "it is not a folder";
    const int code = host::ListDirectory(root).errorCode;
    return code == 0 ? "" : host::ErrorText(code);
}

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

bool TellUntakeableBelow(const std::string& root, const TSourceFolder& node, const std::string& folder,
                         const std::string& what, TNotices* notices) {
    bool none = true;
    if (!node.unreadable.empty()) {
        none = false;
        const std::string path = HostPathOfEntry(root, folder, "");
        Notify(notices, path, NoticeText("cannot read the folder", path, node.unreadable));
    }
    for (const host::DirEntry& entry : node.unstorable) {
        none = false;
        const std::string path = HostPathOfEntry(root, folder, entry.name);
        Notify(notices, path,
               NoticeText(what, path, "the name holds a backslash, which the archive takes for a folder separator"));
    }
    for (size_t k = 0; k < node.folders.size(); ++k)
        if (!TellUntakeableBelow(root, node.children[k], folder + node.folders[k].name + "\\", what, notices))
            none = false;
    return none;
}

void AppendSourceFiles(const std::string& root, const TSourceFolder& node, const std::string& folder,
                       std::vector<TSourceFile>& files) {
    for (size_t k = 0; k < node.folders.size(); ++k)
        AppendSourceFiles(root, node.children[k], folder + node.folders[k].name + "\\", files);
    for (size_t k = 0; k < node.files.size(); ++k) {
        const host::DirEntry& entry = node.files[k];
        if (node.origins.empty())
            files.push_back({folder + entry.name, HostPathBelow(root, folder + entry.name), &entry, {}});
        else
            files.push_back({folder + entry.name, node.origins[k].hostPath, &entry, node.origins[k].kept});
    }
}

}  // namespace

bool TellUntakeable(const std::string& root, const TSourceFolder& tree, const std::string& what, TNotices* notices) {
    return TellUntakeableBelow(root, tree, "", what, notices);
}

std::vector<TSourceFile> SourceFilesOf(const std::string& root, const TSourceFolder& tree) {
    std::vector<TSourceFile> files;
    AppendSourceFiles(root, tree, "", files);
    return files;
}
