#include "helpers/crafted_archives.h"

#include <utility>

#include "helpers/archive_writer.h"
#include "helpers/temp_dir.h"
#include "support/zlib_adapter.h"

namespace {

constexpr int32_t kFixedHeaderBytes = 8;
constexpr char kSharedFileName[] = "f";
constexpr char kBottomFileName[] = "bottom.txt";

}  // namespace

TArrayOfByte LocBombTable(int32_t count, size_t length, bool bigEndian) {
    TArrayOfByte table;
    PutInt(table, bigEndian, count);
    for (int32_t i = 0; i < count; ++i) PutInt(table, bigEndian, 0);
    table.insert(table.end(), length, static_cast<uint8_t>('A'));
    table.push_back(0);
    return table;
}

TArrayOfByte ArchiveDeclaringDirectory(const TArrayOfByte& packed, int32_t declaredSize, bool bigEndian) {
    TArrayOfByte archive;
    PutInt(archive, bigEndian, declaredSize);
    PutInt(archive, bigEndian, static_cast<int32_t>(packed.size()) + kFixedHeaderBytes);
    archive.insert(archive.end(), packed.begin(), packed.end());
    return archive;
}

TArrayOfByte CompressedZeros(size_t count) {
    const TArrayOfByte zeros(count, 0);
    return CompressBytes(zeros.data(), static_cast<int32_t>(zeros.size()));
}

TArrayOfByte SharedStreamArchive(int32_t records, const TArrayOfByte& content, bool bigEndian) {
    const TArrayOfByte stream = CompressBytes(content.data(), static_cast<int32_t>(content.size()));
    TArrayOfByte directory;
    PutInt(directory, bigEndian, 0);
    PutInt(directory, bigEndian, records);
    for (int32_t i = 0; i < records; ++i) {
        PutName(directory, bigEndian, kSharedFileName);
        PutInt(directory, bigEndian, 0);
        PutInt(directory, bigEndian, static_cast<int32_t>(stream.size()));
        PutInt(directory, bigEndian, static_cast<int32_t>(content.size()));
    }
    return ArchiveBytes(directory, stream, bigEndian);
}

TArrayOfByte NestedChainArchive(int32_t depth, const std::string& folderName, bool bigEndian) {
    TestFolder chain{folderName, {}, {{kBottomFileName, Bytes("bottom")}}};
    // Moved level by level: an initializer list would copy the whole chain at every level.
    for (int32_t level = 1; level < depth; ++level) {
        TestFolder parent{folderName, {}, {}};
        parent.folders.push_back(std::move(chain));
        chain = std::move(parent);
    }
    TestFolder root;
    root.folders.push_back(std::move(chain));
    const TestArchive archive = EncodeTree(root, bigEndian);
    return ArchiveBytes(archive.directory, archive.data, bigEndian);
}
