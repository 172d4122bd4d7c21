#include "engine/editing/internal/edit_tree.h"

#include <algorithm>
#include <numeric>

#include "engine/extraction/entry_selection.h"
#include "engine/format/internal/entry_key.h"
#include "support/collation.h"
#include "support/display_text.h"

namespace {

bool EndsWithSeparator(const std::string& text) {
    return !text.empty() && (text.back() == '/' || text.back() == '\\');
}

TEditFolder* LiveFolder(TEditFolder& parent, const std::string& key) {
    const auto found = parent.folderOfKey.find(key);
    if (found == parent.folderOfKey.end()) return nullptr;
    TEditFolder* folder = parent.folders[found->second].get();
    return folder->removed ? nullptr : folder;
}

// The files of the folder by key, indexed first when they are not yet.
std::unordered_map<std::string, std::vector<size_t>>& FilesOfKey(TEditFolder& folder) {
    if (!folder.filesIndexed) {
        for (size_t k = 0; k < folder.files.size(); ++k)
            folder.filesOfKey[EntryPathKey(folder.files[k].entry.name)].push_back(k);
        folder.filesIndexed = true;
    }
    return folder.filesOfKey;
}

bool HoldsLiveFile(TEditFolder& parent, const std::string& key) {
    FilesOfKey(parent);
    const auto found = parent.filesOfKey.find(key);
    if (found == parent.filesOfKey.end()) return false;
    return std::any_of(found->second.begin(), found->second.end(),
                       [&](size_t k) { return !parent.files[k].removed; });
}

bool HoldsAnything(const TEditFolder& folder) {
    return std::any_of(folder.files.begin(), folder.files.end(), [](const TEditFile& f) { return !f.removed; }) ||
           std::any_of(folder.folders.begin(), folder.folders.end(), [](const auto& f) { return !f->removed; });
}

// The sub-folder of the name's key, made under that name when there is none.
TEditFolder& ChildFolder(TEditFolder& parent, const std::string& name) {
    const std::string key = EntryPathKey(name);
    if (TEditFolder* folder = LiveFolder(parent, key)) return *folder;
    parent.folderOfKey[key] = parent.folders.size();
    parent.folders.push_back(std::make_unique<TEditFolder>());
    parent.folders.back()->name = name;
    parent.folders.back()->parent = &parent;
    return *parent.folders.back();
}

void AppendFile(TEditFolder& folder, TEditFile file) {
    if (folder.filesIndexed) folder.filesOfKey[EntryPathKey(file.entry.name)].push_back(folder.files.size());
    folder.files.push_back(std::move(file));
}

void NoteWhatEachHeld(TEditFolder& root) {
    std::vector<TEditFolder*> pending{&root};
    while (!pending.empty()) {
        TEditFolder& folder = *pending.back();
        pending.pop_back();
        folder.heldSomething = !folder.files.empty() || !folder.folders.empty();
        for (auto& child : folder.folders) pending.push_back(child.get());
    }
}

// Removes the folder and everything below it that is not removed yet.
void RemoveFolder(TEditFolder& top, TEditCounts& counts) {
    std::vector<TEditFolder*> pending{&top};
    while (!pending.empty()) {
        TEditFolder& folder = *pending.back();
        pending.pop_back();
        folder.removed = true;
        ++counts.removedFolders;
        for (TEditFile& file : folder.files) {
            if (file.removed) continue;
            file.removed = true;
            ++counts.removedFiles;
        }
        for (auto& child : folder.folders)
            if (!child->removed) pending.push_back(child.get());
    }
}

std::string CollisionText(const std::string& path, const char* what) {
    return "\"" + ArchivePathForUser(path) + "\" " + what;
}

// The indices of the items that are not removed, in collation order of their names (the
// order each side held them among equal names).
template <typename TItems, typename TName>
std::vector<size_t> LiveInCollationOrder(const TItems& items, TName nameOf) {
    std::vector<size_t> order;
    for (size_t k = 0; k < items.size(); ++k)
        if (!items[k].removed) order.push_back(k);
    // The items of an archive's folder mostly stand in that order already: checking each
    // neighbour once costs a fraction of sorting.
    bool ordered = true;
    for (size_t k = 1; k < order.size() && ordered; ++k) {
        const int c = CompareTextNoCase(nameOf(items[order[k - 1]]), nameOf(items[order[k]]));
        ordered = c < 0 || (c == 0 && nameOf(items[order[k - 1]]) <= nameOf(items[order[k]]));
    }
    if (ordered) return order;
    // Equal names keep their order by index: a sort that is stable without std::stable_sort,
    // whose temporary buffer GCC 12's library frees in a way AddressSanitizer reports.
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (CollationLess(nameOf(items[a]), nameOf(items[b]))) return true;
        if (CollationLess(nameOf(items[b]), nameOf(items[a]))) return false;
        return a < b;
    });
    return order;
}

struct TFolderRef {
    const TEditFolder* folder;
    bool removed;
};

// Lists the live content of the edited folder into the folder at index of the listed tree.
// Returns the edited folders of the sub-folders it made room for, in their order.
std::vector<const TEditFolder*> ListInto(const TEditFolder& folder, TListedTree& listed, size_t index) {
    std::vector<TFolderRef> refs;
    for (const auto& child : folder.folders) refs.push_back({child.get(), child->removed});
    std::vector<const TEditFolder*> children;
    TSourceFolder& node = listed.folders[index];
    for (size_t k : LiveInCollationOrder(refs, [](const TFolderRef& r) { return r.folder->name; })) {
        node.folders.push_back({refs[k].folder->name, {host::EntryKind::Directory, 0, {}, 0}});
        children.push_back(refs[k].folder);
    }
    for (size_t k : LiveInCollationOrder(folder.files, [](const TEditFile& f) { return f.entry.name; })) {
        node.files.push_back(folder.files[k].entry);
        node.origins.push_back(folder.files[k].origin);
    }
    listed.AddChildren(index);
    return children;
}

// The archive path of a file of folder, for messages.
std::string PathIn(const TEditFolder& folder, const std::string& name) {
    std::vector<const std::string*> names;
    for (const TEditFolder* f = &folder; f->parent != nullptr; f = f->parent) names.push_back(&f->name);
    std::string path;
    for (auto n = names.rbegin(); n != names.rend(); ++n) path += **n + "\\";
    return path + name;
}

// Of the files of one key in folder, the one a name means: the one of exactly that name,
// else the one name they all have. Files of two names that differ only in letter case, none
// of them the name given, leave it open which is meant: false, with problem saying so.
// chosen is null when there are none.
bool ChooseByName(const TEditFolder& folder, const std::vector<TEditFile*>& files, const std::string& name,
                  TEditFile*& chosen, std::string& problem) {
    chosen = nullptr;
    for (TEditFile* file : files)
        if (file->entry.name == name) {
            chosen = file;
            return true;
        }
    for (TEditFile* file : files) {
        if (chosen == nullptr) chosen = file;
        else if (file->entry.name != chosen->entry.name) {
            problem = NamesBothText(PathIn(folder, chosen->entry.name), PathIn(folder, file->entry.name));
            chosen = nullptr;
            return false;
        }
    }
    return true;
}

}  // namespace

TEditFolder::~TEditFolder() {
    // The folders below are taken out of their parents before they go, so each one freed
    // holds none.
    std::vector<std::unique_ptr<TEditFolder>> pending = std::move(folders);
    while (!pending.empty()) {
        std::unique_ptr<TEditFolder> last = std::move(pending.back());
        pending.pop_back();
        for (auto& child : last->folders) pending.push_back(std::move(child));
        last->folders.clear();
    }
}

TEditTree::TEditTree(const TArchiveIndex& index) {
    std::vector<TEditFolder*> folderOf(index.folders.size(), &root_);
    for (size_t k = 1; k < index.folders.size(); ++k) {
        const TArchiveFolder& folder = index.folders[k];
        folderOf[k] = &ChildFolder(*folderOf[static_cast<size_t>(folder.parent)], std::string(index.Name(folder)));
    }
    for (const TArchiveEntry& entry : index.entries) {
        TEditFile file;
        file.entry = {std::string(index.Name(entry)), {host::EntryKind::File, std::max(entry.unpackedSize, 0), {}, 0}};
        file.origin.kept = TKeptStream{entry.streamStart, entry.packedSize, entry.unpackedSize};
        AppendFile(*folderOf[static_cast<size_t>(entry.folder)], std::move(file));
    }
    NoteWhatEachHeld(root_);
}

TEditFolder* TEditTree::MakeFolder(const std::string& typedPath, std::string& collision) {
    TEditFolder* folder = &root_;
    std::string path;
    for (const std::string& part : EntryPathParts(typedPath)) {
        path += path.empty() ? part : "\\" + part;
        if (HoldsLiveFile(*folder, EntryPathKey(part))) {
            collision = CollisionText(path, "is a file of the archive, not a folder");
            return nullptr;
        }
        folder = &ChildFolder(*folder, part);
    }
    return folder;
}

bool TEditTree::PutFile(TEditFolder& folder, const host::DirEntry& entry, const TFileOrigin& origin,
                        TEditCounts& counts, std::string& collision) {
    const std::string key = EntryPathKey(entry.name);
    if (LiveFolder(folder, key) != nullptr) {
        collision = CollisionText(HostPathOf(origin), "is a file, and the archive holds a folder of that name");
        return false;
    }
    std::vector<TEditFile*> kept;
    for (size_t k : FilesOfKey(folder)[key]) {
        TEditFile& file = folder.files[k];
        if (file.removed) continue;
        if (!file.origin.kept && file.entry.name == entry.name) {
            collision = CollisionText(HostPathOf(origin), "is a second file for one path of the archive");
            return false;
        }
        if (file.origin.kept) kept.push_back(&file);
    }
    TEditFile* keeping = nullptr;
    std::string ambiguity;
    if (!ChooseByName(folder, kept, entry.name, keeping, ambiguity)) {
        collision = CollisionText(HostPathOf(origin), ambiguity.c_str());
        return false;
    }
    if (keeping != nullptr) {
        keeping->entry.info = entry.info;
        keeping->origin = origin;
        ++counts.replaced;
        return true;
    }
    AppendFile(folder, {entry, origin, false});
    ++counts.added;
    return true;
}

bool TEditTree::PutTree(TEditFolder& folder, const TListedTree& tree, TEditCounts& counts, std::string& collision) {
    struct TFrame {
        TEditFolder* folder;
        size_t hostFolder;
        size_t next;  // the sub-folder to put next
    };
    std::vector<TFrame> stack{{&folder, 0, 0}};
    while (!stack.empty()) {
        TFrame& top = stack.back();
        const TSourceFolder& node = tree.folders[top.hostFolder];
        if (top.next == node.folders.size()) {
            for (const host::DirEntry& entry : node.files) {
                const TFileOrigin origin = TFileOrigin::InTree(tree, top.hostFolder, entry.name);
                if (!PutFile(*top.folder, entry, origin, counts, collision)) return false;
            }
            stack.pop_back();
            continue;
        }
        const size_t k = top.next++;
        const std::string& name = node.folders[k].name;
        if (HoldsLiveFile(*top.folder, EntryPathKey(name))) {
            collision = CollisionText(tree.HostPath(top.hostFolder, name),
                                      "is a folder, and the archive holds a file of that name");
            return false;
        }
        TEditFolder& child = ChildFolder(*top.folder, name);
        // A link back up its own path is stored as an empty folder, as a build stores it.
        const size_t hostChild = tree.Child(top.hostFolder, k);
        if (tree.folders[hostChild].linksBack) continue;
        stack.push_back({&child, hostChild, 0});
    }
    return true;
}

bool TEditTree::Remove(const std::string& typedPath, TEditCounts& counts, std::string& problem) {
    const std::vector<std::string> parts = EntryPathParts(typedPath);
    if (parts.empty()) return false;
    TEditFolder* folder = &root_;
    for (size_t k = 0; k + 1 < parts.size() && folder != nullptr; ++k) folder = LiveFolder(*folder, EntryPathKey(parts[k]));
    if (folder == nullptr) return false;
    const std::string key = EntryPathKey(parts.back());
    bool matched = false;
    if (!EndsWithSeparator(typedPath)) {
        std::vector<TEditFile*> live;
        for (size_t k : FilesOfKey(*folder)[key])
            if (!folder->files[k].removed) live.push_back(&folder->files[k]);
        TEditFile* chosen = nullptr;
        if (!ChooseByName(*folder, live, parts.back(), chosen, problem)) return false;
        for (TEditFile* file : live) {
            if (chosen == nullptr || file->entry.name != chosen->entry.name) continue;
            file->removed = true;
            ++counts.removedFiles;
            matched = true;
        }
    }
    if (TEditFolder* named = LiveFolder(*folder, key)) {
        RemoveFolder(*named, counts);
        matched = true;
    }
    return matched;
}

void TEditTree::RemoveEmptied(TEditCounts& counts) {
    // Each folder is judged once the folders below it are, so a folder that held only
    // folders emptied by the edit goes too.
    struct TFrame {
        TEditFolder* folder;
        size_t next;
    };
    std::vector<TFrame> stack{{&root_, 0}};
    while (!stack.empty()) {
        TFrame& top = stack.back();
        if (top.next < top.folder->folders.size()) {
            TEditFolder* child = top.folder->folders[top.next++].get();
            if (!child->removed) stack.push_back({child, 0});
            continue;
        }
        TEditFolder* done = top.folder;
        stack.pop_back();
        if (!stack.empty() && done->heldSomething && !HoldsAnything(*done)) {
            done->removed = true;
            ++counts.removedFolders;
        }
    }
}

TListedTree TEditTree::Listed() const {
    TListedTree listed{"", {TSourceFolder{}}};
    std::vector<std::pair<const TEditFolder*, size_t>> pending{{&root_, 0}};
    while (!pending.empty()) {
        const auto [folder, index] = pending.back();
        pending.pop_back();
        const std::vector<const TEditFolder*> children = ListInto(*folder, listed, index);
        for (size_t k = 0; k < children.size(); ++k) pending.push_back({children[k], listed.Child(index, k)});
    }
    return listed;
}
