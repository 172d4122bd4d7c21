#include "engine/internal/entry_key.h"

#include "engine/internal/hash_tag.h"
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

int32_t FindKey(const TStringList& lines, const std::string& key, bool byTag, int32_t cutStart, int32_t cutEnd) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (KeyOfEntry(CutLine(lines[i], cutStart, cutEnd), byTag) == key) return static_cast<int32_t>(i);
    return -1;
}

}  // namespace

int32_t FindEntry(const TStringList& lines, const std::string& given, bool byTag, int32_t cutStart, int32_t cutEnd) {
    const std::optional<std::string> key = KeyOfWanted(given, byTag);
    return key ? FindKey(lines, *key, byTag, cutStart, cutEnd) : -1;
}

int32_t FindEntryByPath(const TStringList& lines, const std::string& path, int32_t cutStart, int32_t cutEnd) {
    return FindEntry(lines, path, false, cutStart, cutEnd);
}

int32_t FindEntryByTag(const TStringList& lines, const HashTag& tag, int32_t cutStart, int32_t cutEnd) {
    return FindKey(lines, EntryTagKey(tag), true, cutStart, cutEnd);
}

TEntryIndex::TEntryIndex(const TStringList& lines, int32_t cutStart, int32_t cutEnd, bool byTag) : byTag_(byTag) {
    // The first line of a key stays: emplace leaves an existing one alone.
    for (size_t i = 0; i < lines.size(); ++i)
        first_.emplace(KeyOfEntry(CutLine(lines[i], cutStart, cutEnd), byTag), static_cast<int32_t>(i));
}

int32_t TEntryIndex::Find(const std::string& given) const {
    const std::optional<std::string> key = KeyOfWanted(given, byTag_);
    if (!key) return -1;
    const auto found = first_.find(*key);
    return found == first_.end() ? -1 : found->second;
}
