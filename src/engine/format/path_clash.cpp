#include "engine/format/internal/path_clash.h"

#include <cstdint>
#include <string_view>
#include <unordered_set>

namespace {

// FNV-1a over a path's bytes, continued part by part, so that a folder's path costs its own
// name and not its parents' again: the whole walk costs the directory's size.
constexpr uint64_t kFnvBasis = 14695981039346656037ULL;
constexpr uint64_t kFnvPrime = 1099511628211ULL;

uint64_t Continue(uint64_t state, char byte) {
    const char normalized = byte == '/' ? '\\' : byte;
    return (state ^ static_cast<uint8_t>(normalized)) * kFnvPrime;
}

// The state after a name below a folder whose path gave state; each place inside the name
// where a "/" begins another part is a folder too, and goes to folders.
uint64_t Below(uint64_t state, bool root, std::string_view name, std::unordered_set<uint64_t>& folders) {
    if (!root) state = Continue(state, '\\');
    for (const char byte : name) {
        if (byte == '/' || byte == '\\') folders.insert(state);
        state = Continue(state, byte);
    }
    return state;
}

}  // namespace

std::vector<bool> EntriesWhereFoldersStand(const TArchiveIndex& index) {
    std::unordered_set<uint64_t> folders;
    std::vector<uint64_t> folderState(index.folders.size(), kFnvBasis);
    for (size_t k = 1; k < index.folders.size(); ++k) {
        const TArchiveFolder& folder = index.folders[k];
        const auto parent = static_cast<size_t>(folder.parent);
        folderState[k] = Below(folderState[parent], parent == 0, index.Name(folder), folders);
        folders.insert(folderState[k]);
    }
    std::vector<uint64_t> entryState(index.entries.size());
    for (size_t i = 0; i < index.entries.size(); ++i) {
        const TArchiveEntry& entry = index.entries[i];
        const auto folder = static_cast<size_t>(entry.folder);
        entryState[i] = Below(folderState[folder], folder == 0, index.Name(entry), folders);
    }
    std::vector<bool> clash(index.entries.size(), false);
    for (size_t i = 0; i < index.entries.size(); ++i) clash[i] = folders.count(entryState[i]) != 0;
    return clash;
}
