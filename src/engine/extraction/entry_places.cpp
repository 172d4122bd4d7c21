#include "engine/extraction/internal/entry_places.h"

#include "support/folder_cursor.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool SplitNameIntoParts(std::string_view name, std::vector<std::string>& parts) {
    parts.clear();
    if (name.find('\0') != std::string_view::npos) return false;
    size_t start = 0;
    for (size_t at = 0; at <= name.size(); ++at) {
        if (at < name.size() && !IsSeparator(name[at])) continue;
        const std::string_view part = name.substr(start, at - start);
        if (part.empty() || part == "." || part == "..") return false;
        parts.emplace_back(part);
        start = at + 1;
    }
    return true;
}

bool MayBeginPath(const std::string& part) {
    const bool drive = part.size() >= 2 && part[1] == ':' &&
                       ((part[0] >= 'A' && part[0] <= 'Z') || (part[0] >= 'a' && part[0] <= 'z'));
    return !drive;
}

TEntryPlaces::TEntryPlaces(const TArchiveIndex& index) : index_(index), folders_(index.folders.size()) {
    // Folders come after their parents.
    for (size_t k = 1; k < index.folders.size(); ++k) {
        const TArchiveFolder& record = index.folders[k];
        TFolder& folder = folders_[k];
        const TFolder& parent = folders_[static_cast<size_t>(record.parent)];
        folder.placed = parent.placed && record.nameLength >= 0 && SplitNameIntoParts(index.Name(record), folder.parts) &&
                        (parent.depth > 0 || MayBeginPath(folder.parts.front()));
        folder.depth = parent.depth + folder.parts.size();
    }
}

bool TEntryPlaces::PlaceFile(const TArchiveEntry& entry, std::vector<std::string>& nameFolders,
                             std::string& fileName) const {
    const TFolder& folder = folders_[static_cast<size_t>(entry.folder)];
    if (!folder.placed || entry.nameLength < 0 || !SplitNameIntoParts(index_.Name(entry), nameFolders)) return false;
    if (folder.depth == 0 && !MayBeginPath(nameFolders.front())) return false;
    fileName = std::move(nameFolders.back());
    nameFolders.pop_back();
    return true;
}

bool TCursorMover::OnChain(int32_t folder) const {
    const auto depth = static_cast<size_t>(index_.folders[static_cast<size_t>(folder)].depth);
    return depth < chain_.size() && chain_[depth] == folder;
}

bool TCursorMover::Enter(int32_t folder, const std::vector<std::string>& nameFolders, std::string& problem) {
    // The last name's own parts go first, then the folders below the one both entries share.
    components_.resize(components_.size() - nameParts_);
    std::vector<int32_t> below;
    int32_t shared = folder;
    while (!OnChain(shared)) {
        below.push_back(shared);
        shared = index_.folders[static_cast<size_t>(shared)].parent;
    }
    chain_.resize(static_cast<size_t>(index_.folders[static_cast<size_t>(shared)].depth) + 1);
    components_.resize(places_.DepthOf(shared));
    const size_t known = components_.size();
    for (auto f = below.rbegin(); f != below.rend(); ++f) {
        chain_.push_back(*f);
        const std::vector<std::string>& parts = places_.PartsOf(*f);
        components_.insert(components_.end(), parts.begin(), parts.end());
    }
    components_.insert(components_.end(), nameFolders.begin(), nameFolders.end());
    nameParts_ = nameFolders.size();
    return cursor_.Enter(components_, known, problem);
}
