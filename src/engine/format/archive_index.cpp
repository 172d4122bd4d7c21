#include "engine/format/archive_index.h"

#include <algorithm>
#include <cstddef>

#include "engine/format/internal/archive_format.h"
#include "support/number_text.h"

namespace {

constexpr std::string_view kBadNameText = "**error**";
constexpr char kFieldSeparator = '*';

std::string_view NameEndingAt(const TArrayOfByte& directory, int32_t end, int32_t length) {
    if (length < 0) return kBadNameText;
    return {reinterpret_cast<const char*>(directory.data()) + (end - length), static_cast<size_t>(length)};
}

}  // namespace

std::string_view TArchiveIndex::Name(const TArchiveEntry& entry) const {
    return NameEndingAt(directory, entry.entryPos, entry.nameLength);
}

std::string_view TArchiveIndex::Name(const TArchiveFolder& folder) const {
    return NameEndingAt(directory, folder.recordPos, folder.nameLength);
}

std::string TArchiveIndex::FolderPrefix(int32_t folder) const {
    std::string prefix(static_cast<size_t>(folders[static_cast<size_t>(folder)].pathLength), '\0');
    for (int32_t f = folder; f > 0; f = folders[static_cast<size_t>(f)].parent) {
        const TArchiveFolder& record = folders[static_cast<size_t>(f)];
        const std::string_view name = Name(record);
        const auto end = static_cast<size_t>(record.pathLength);
        prefix[end - 1] = '\\';
        std::copy(name.begin(), name.end(), prefix.begin() + static_cast<std::ptrdiff_t>(end - 1 - name.size()));
    }
    return prefix;
}

std::string TArchiveIndex::PathOf(const TArchiveEntry& entry) const {
    std::string path = FolderPrefix(entry.folder);
    path += Name(entry);
    return path;
}

bool TEntryPaths::OnChain(int32_t folder) const {
    const auto depth = static_cast<size_t>(index_.folders[static_cast<size_t>(folder)].depth);
    return depth < chain_.size() && chain_[depth] == folder;
}

const std::string& TEntryPaths::FolderPrefix(int32_t folder) {
    if (chain_.back() == folder) return prefix_;
    // Up from the folder to the first one the current prefix passes through, then the
    // prefix is cut there and the folders below it appended.
    std::vector<int32_t> below;
    int32_t f = folder;
    while (!OnChain(f)) {
        below.push_back(f);
        f = index_.folders[static_cast<size_t>(f)].parent;
    }
    const TArchiveFolder& common = index_.folders[static_cast<size_t>(f)];
    chain_.resize(static_cast<size_t>(common.depth) + 1);
    prefix_.resize(static_cast<size_t>(common.pathLength));
    for (auto k = below.rbegin(); k != below.rend(); ++k) {
        prefix_ += index_.Name(index_.folders[static_cast<size_t>(*k)]);
        prefix_ += '\\';
        chain_.push_back(*k);
    }
    return prefix_;
}

const std::string& TEntryPaths::Of(const TArchiveEntry& entry) {
    path_ = FolderPrefix(entry.folder);
    path_ += index_.Name(entry);
    return path_;
}

std::string ListingLine(const TArchiveEntry& entry, int32_t headerSize, const std::string& path) {
    const int32_t absOffset =
        static_cast<int32_t>(static_cast<uint32_t>(headerSize) + static_cast<uint32_t>(entry.dataOffset));
    std::string line;
    line.reserve(kPrefixLength + path.size());
    for (int32_t field : {entry.entryPos, entry.dataOffset, absOffset, entry.packedSize, entry.unpackedSize}) {
        line += HexLong(field);
        line += kFieldSeparator;
    }
    line += path;
    return line;
}
