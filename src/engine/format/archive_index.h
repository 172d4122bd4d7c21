// An archive's header and directory as typed records: every folder record with its parent and
// name, every file record with its folder, name and numbers. Names stay where they lie in the
// directory image, and a path is made from its folders only when one is asked for, so that
// memory follows the directory's size however deep its folders nest or long their names are.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/bytes.h"

struct TArchiveFolder {
    int32_t parent = -1;      // the folder that holds it; -1 for the root, folder 0
    int32_t depth = 0;        // 0 for the root
    int32_t recordPos = 0;    // where its record (its count of sub-folders) begins in the directory
    int32_t nameLength = 0;   // its name ends at recordPos; -1 for a length out of range
    int64_t pathLength = 0;   // the length of its path with a "\" behind it; 0 for the root
};

struct TArchiveEntry {
    int32_t folder = 0;       // the folder it lies in
    int32_t nameLength = 0;   // its name ends at entryPos; -1 for a length out of range
    int32_t entryPos = 0;     // where its three integers lie in the directory
    int32_t dataOffset = 0;   // from the start of the data area
    int32_t packedSize = 0;
    int32_t unpackedSize = 0;
    int64_t streamStart = 0;  // where the stream begins in the file: header size + data offset,
                              // without a 32-bit wrap (a negative data offset points into the header)
};

using TArchiveEntries = std::vector<TArchiveEntry>;

struct TArchiveIndex {
    int32_t headerSize = 0;
    TArrayOfByte directory;               // decompressed, as far as the walk read it
    std::vector<TArchiveFolder> folders;  // in the order the walk entered them, the root first
    TArchiveEntries entries;              // in directory order

    // The name a record gives ("**error**" for a length out of range), valid while the index lives.
    std::string_view Name(const TArchiveEntry& entry) const;
    std::string_view Name(const TArchiveFolder& folder) const;
    // "\" between the folders; a file of the root is its bare name.
    std::string PathOf(const TArchiveEntry& entry) const;
    // The folder's path with a "\" behind it; "" for the root.
    std::string FolderPrefix(int32_t folder) const;
};

// The line the listing gives an entry whose path is path: five 8-digit upper-case hexadecimal
// fields, each followed by "*" (directory position, data offset, absolute offset wrapped to
// 32 bits, packed size, unpacked size), then the path.
std::string ListingLine(const TArchiveEntry& entry, int32_t headerSize, const std::string& path);

// The paths of entries one after another: a path is made by changing the last one where the
// two folders differ, so that going through a whole directory in any walk order costs about
// what the paths' differences add up to.
class TEntryPaths {
public:
    explicit TEntryPaths(const TArchiveIndex& index) : index_(index) {}

    // Valid until the next call.
    const std::string& Of(const TArchiveEntry& entry);
    // The folder's prefix, as TArchiveIndex::FolderPrefix; valid until the next call.
    const std::string& FolderPrefix(int32_t folder);

private:
    bool OnChain(int32_t folder) const;

    const TArchiveIndex& index_;
    std::vector<int32_t> chain_{0};  // the folders of prefix_, from the root down
    std::string prefix_;
    std::string path_;
};
