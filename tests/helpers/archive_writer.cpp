#include "helpers/archive_writer.h"

#include "helpers/temp_dir.h"
#include "support/zlib_adapter.h"

void PutInt(TArrayOfByte& out, bool bigEndian, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    for (int k = 0; k < 4; ++k) {
        const int shift = bigEndian ? 24 - 8 * k : 8 * k;
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}

void PutName(TArrayOfByte& out, bool bigEndian, const std::string& name) {
    PutInt(out, bigEndian, static_cast<int32_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
}

namespace {

void EncodeFolder(const TestFolder& folder, bool bigEndian, TestArchive& archive) {
    PutInt(archive.directory, bigEndian, static_cast<int32_t>(folder.folders.size()));
    for (const TestFolder& sub : folder.folders) {
        PutName(archive.directory, bigEndian, sub.name);
        EncodeFolder(sub, bigEndian, archive);
    }
    PutInt(archive.directory, bigEndian, static_cast<int32_t>(folder.files.size()));
    for (const TestFile& file : folder.files) {
        const TArrayOfByte stream = CompressBytes(file.content.data(), static_cast<int32_t>(file.content.size()));
        PutName(archive.directory, bigEndian, file.name);
        PutInt(archive.directory, bigEndian, static_cast<int32_t>(archive.data.size()));
        PutInt(archive.directory, bigEndian, static_cast<int32_t>(stream.size()));
        PutInt(archive.directory, bigEndian, static_cast<int32_t>(file.content.size()));
        archive.data.insert(archive.data.end(), stream.begin(), stream.end());
    }
}

}  // namespace

TestArchive EncodeTree(const TestFolder& root, bool bigEndian) {
    TestArchive archive;
    EncodeFolder(root, bigEndian, archive);
    return archive;
}

TArrayOfByte ArchiveBytes(const TArrayOfByte& directory, const TArrayOfByte& data, bool bigEndian) {
    const TArrayOfByte packed = CompressBytes(directory.data(), static_cast<int32_t>(directory.size()));
    TArrayOfByte out;
    PutInt(out, bigEndian, static_cast<int32_t>(directory.size()));
    PutInt(out, bigEndian, static_cast<int32_t>(packed.size() + 8));
    out.insert(out.end(), packed.begin(), packed.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

void WriteTestArchive(const std::string& path, const TestFolder& root, bool bigEndian) {
    const TestArchive archive = EncodeTree(root, bigEndian);
    WriteFile(path, ArchiveBytes(archive.directory, archive.data, bigEndian));
}
