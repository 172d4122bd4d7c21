#include "engine/format/internal/entry_key.h"

#include <functional>

#include "engine/format/internal/hash_tag.h"
#include "support/display_text.h"
#include "support/number_text.h"
#include "support/paths.h"

std::string EntryPathKey(const std::string& path) {
    std::string key = LowerAscii(path);
    SlashesToBackslashes(key);
    return key;
}

std::string EntryTagKey(const HashTag& tag) { return std::string(tag.begin(), tag.end()); }

std::string KeyOfEntry(const std::string& entryPath, bool byTag) {
    return byTag ? EntryTagKey(PathHashTag(entryPath)) : EntryPathKey(entryPath);
}

std::optional<std::string> KeyOfWanted(const std::string& given, bool byTag) {
    if (byTag) return EntryTagKey(TagFromText(given));
    if (given.empty()) return std::nullopt;
    return EntryPathKey(given);
}

namespace {

std::string WithBackslashes(std::string path) {
    SlashesToBackslashes(path);
    return path;
}

// Chooses among the entries whose key is the one wanted, in directory order: by path, the
// first that is exactly the path given; else the first, unless another of a different path
// shares the key.
class TMatcher {
public:
    TMatcher(const std::string& given, bool byTag) : exact_(byTag ? "" : WithBackslashes(given)), byPath_(!byTag) {}

    // Takes the next entry of the wanted key; true once the choice cannot change.
    bool Take(int32_t entry, const std::string& path) {
        const std::string normalized = WithBackslashes(path);
        if (byPath_ && normalized == exact_) {
            match_ = {entry, -1, -1};
            return true;
        }
        if (match_.first < 0) {
            match_.first = entry;
            firstPath_ = normalized;
        } else if (match_.second < 0 && normalized != firstPath_) {
            match_.second = entry;
        }
        return false;
    }

    TEntryMatch Result() const {
        if (match_.entry >= 0) return match_;
        if (match_.second >= 0) return match_;
        return {match_.first, -1, -1};
    }

private:
    const std::string exact_;
    const bool byPath_;
    TEntryMatch match_;
    std::string firstPath_;
};

}  // namespace

std::string NamesBothText(const std::string& first, const std::string& second) {
    return "names both \"" + ArchivePathForUser(first) + "\" and \"" + ArchivePathForUser(second) +
           "\" of the archive, which differ only in letter case";
}

std::string AmbiguityReason(const TArchiveIndex& index, const TEntryMatch& match, bool byTag) {
    const std::string first = index.PathOf(index.entries[static_cast<size_t>(match.first)]);
    const std::string second = index.PathOf(index.entries[static_cast<size_t>(match.second)]);
    if (!byTag) return "it " + NamesBothText(first, second);
    return "its hash tag is that of both \"" + ArchivePathForUser(first) + "\" and \"" + ArchivePathForUser(second) +
           "\" of the archive, which differ only in letter case";
}

TEntryMatch FindEntry(const TArchiveIndex& index, const std::string& given, bool byTag) {
    const std::optional<std::string> key = KeyOfWanted(given, byTag);
    if (!key) return {};
    TMatcher matcher(given, byTag);
    TEntryPaths paths(index);
    for (size_t i = 0; i < index.entries.size(); ++i) {
        const std::string& path = paths.Of(index.entries[i]);
        if (KeyOfEntry(path, byTag) == *key && matcher.Take(static_cast<int32_t>(i), path)) break;
    }
    return matcher.Result();
}

TEntryIndex::TEntryIndex(const TArchiveIndex& index, bool byTag) : index_(&index), byTag_(byTag) {
    TEntryPaths paths(index);
    for (size_t i = 0; i < index.entries.size(); ++i)
        entriesOfHash_[std::hash<std::string>{}(KeyOfEntry(paths.Of(index.entries[i]), byTag))].push_back(
            static_cast<int32_t>(i));
}

TEntryMatch TEntryIndex::Find(const std::string& given) const {
    const std::optional<std::string> key = KeyOfWanted(given, byTag_);
    if (!key || index_ == nullptr) return {};
    const auto found = entriesOfHash_.find(std::hash<std::string>{}(*key));
    if (found == entriesOfHash_.end()) return {};
    TMatcher matcher(given, byTag_);
    for (int32_t entry : found->second) {
        const std::string path = index_->PathOf(index_->entries[static_cast<size_t>(entry)]);
        if (KeyOfEntry(path, byTag_) == *key && matcher.Take(entry, path)) break;
    }
    return matcher.Result();
}
