#include "helpers/archive_probe.h"

#include <gtest/gtest.h>

#include "engine/reading/archive_entries.h"
#include "engine/format/internal/archive_format.h"
#include "support/fast_inflate.h"
#include "support/number_text.h"

int32_t ListingField(const std::string& line, int32_t column) {
    return HexToInt(line.substr(static_cast<size_t>(column), kHexFieldWidth));
}

std::vector<ProbedEntry> ProbeEntries(const std::string& archivePath, bool* ok) {
    TArchiveIndex index;
    const bool listed = ReadArchiveIndex(false, archivePath, index, nullptr);
    if (ok != nullptr) *ok = listed;
    std::vector<ProbedEntry> entries;
    if (!listed) return entries;
    TEntryPaths paths(index);
    for (const TArchiveEntry& entry : index.entries) {
        ProbedEntry e;
        e.entryPos = entry.entryPos;
        e.dataOffset = entry.dataOffset;
        // As the listing gives it: wrapped to 32 bits.
        e.absOffset = static_cast<int32_t>(static_cast<uint32_t>(index.headerSize) +
                                           static_cast<uint32_t>(entry.dataOffset));
        e.packedSize = entry.packedSize;
        e.unpackedSize = entry.unpackedSize;
        e.path = paths.Of(entry);
        entries.push_back(e);
    }
    return entries;
}

// Inflated as extraction inflates it: to the size its record gives, or not at all.
TArrayOfByte ProbeContent(const TArrayOfByte& archiveBytes, const ProbedEntry& entry) {
    TArrayOfByte content;
    EXPECT_EQ(InflateExactSize(archiveBytes.data() + entry.absOffset, entry.packedSize, entry.unpackedSize, content),
              TInflateOutcome::Exact)
        << "the stream of \"" << entry.path << "\" does not inflate to the size its record gives";
    return content;
}

int32_t ProbeHeaderSize(const TArrayOfByte& archiveBytes) { return ReadInt32At(archiveBytes, 4); }

TestFile* FindTestFile(TestFolder& root, const std::string& path) {
    const size_t slash = path.find('\\');
    if (slash == std::string::npos) {
        for (TestFile& f : root.files)
            if (f.name == path) return &f;
        return nullptr;
    }
    const std::string head = path.substr(0, slash);
    for (TestFolder& sub : root.folders)
        if (sub.name == head) return FindTestFile(sub, path.substr(slash + 1));
    return nullptr;
}

namespace {
void CollectTreeFiles(const TestFolder& folder, const std::string& prefix,
                      std::vector<std::pair<std::string, TArrayOfByte>>& out) {
    for (const TestFolder& sub : folder.folders) CollectTreeFiles(sub, prefix + sub.name + "\\", out);
    for (const TestFile& f : folder.files) out.emplace_back(prefix + f.name, f.content);
}
}  // namespace

std::vector<std::pair<std::string, TArrayOfByte>> TreeFiles(const TestFolder& root) {
    std::vector<std::pair<std::string, TArrayOfByte>> out;
    CollectTreeFiles(root, "", out);
    return out;
}

TArrayOfByte EncodedArchive(const TestFolder& root, bool bigEndian) {
    const TestArchive archive = EncodeTree(root, bigEndian);
    return ArchiveBytes(archive.directory, archive.data, bigEndian);
}
