#include "helpers/crafted_archives.h"

#include <algorithm>
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

namespace {

// Deflate's bits, least significant first; Huffman codes go in from their top bit.
class TBitWriter {
public:
    void Bits(uint32_t value, int count) {
        for (int k = 0; k < count; ++k) Bit((value >> k) & 1U);
    }
    void Code(uint32_t code, int length) {
        for (int k = length - 1; k >= 0; --k) Bit((code >> k) & 1U);
    }
    TArrayOfByte Finish() {
        if (used_ > 0) bytes_.push_back(current_);
        return std::move(bytes_);
    }

private:
    void Bit(uint32_t bit) {
        current_ = static_cast<uint8_t>(current_ | (bit << used_));
        if (++used_ == 8) {
            bytes_.push_back(current_);
            current_ = 0;
            used_ = 0;
        }
    }
    TArrayOfByte bytes_;
    uint8_t current_ = 0;
    int used_ = 0;
};

// The fixed Huffman codes of deflate the stream needs.
constexpr uint32_t kLiteralZero = 0x30;  // literal 0: 8 bits
constexpr uint32_t kLength258 = 0xC5;    // length code 285: 8 bits, no extra bits
constexpr uint32_t kDistanceOne = 0x00;  // distance code 0: 5 bits
constexpr uint32_t kEndOfBlock = 0x00;   // code 256: 7 bits
constexpr int64_t kMatchLength = 258;
constexpr uint32_t kAdlerModulus = 65521;

}  // namespace

TArrayOfByte ZeroRunStream(int64_t count, int64_t& inflated) {
    const int64_t matches = std::max<int64_t>((count - 1) / kMatchLength, 0);
    inflated = 1 + matches * kMatchLength;
    TBitWriter bits;
    bits.Bits(1, 1);  // the last block
    bits.Bits(1, 2);  // fixed Huffman codes
    bits.Code(kLiteralZero, 8);
    for (int64_t k = 0; k < matches; ++k) {
        bits.Code(kLength258, 8);
        bits.Code(kDistanceOne, 5);
    }
    bits.Code(kEndOfBlock, 7);
    TArrayOfByte stream = {0x78, 0xDA};
    const TArrayOfByte deflated = bits.Finish();
    stream.insert(stream.end(), deflated.begin(), deflated.end());
    // Adler-32 of zeros: the sum of the bytes stays 1, the sum of the sums is their count + 1.
    const uint32_t adler = (static_cast<uint32_t>(inflated % kAdlerModulus) << 16) | 1U;
    for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(static_cast<uint8_t>(adler >> shift));
    return stream;
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

TArrayOfByte LongFolderNamesArchive(int32_t folders, int32_t filesEach, bool nested, bool sameFileNames) {
    constexpr size_t kLongestName = 60000;
    const TArrayOfByte empty = CompressBytes(nullptr, 0);
    TArrayOfByte directory;
    const auto putFiles = [&](int32_t count) {
        PutInt(directory, false, count);
        for (int32_t f = 0; f < count; ++f) {
            PutName(directory, false, sameFileNames ? "f" : "f" + std::to_string(f));
            PutInt(directory, false, 0);
            PutInt(directory, false, static_cast<int32_t>(empty.size()));
            PutInt(directory, false, 0);
        }
    };
    const auto name = [&](int32_t k) { return std::string(kLongestName, static_cast<char>('a' + k % 26)); };
    if (nested) {
        for (int32_t k = 0; k < folders; ++k) {
            PutInt(directory, false, 1);
            PutName(directory, false, name(k));
        }
        PutInt(directory, false, 0);
        putFiles(filesEach);
        for (int32_t k = 0; k < folders; ++k) PutInt(directory, false, 0);
    } else {
        PutInt(directory, false, folders);
        for (int32_t k = 0; k < folders; ++k) {
            PutName(directory, false, name(k));
            PutInt(directory, false, 0);
            putFiles(filesEach);
        }
        PutInt(directory, false, 0);
    }
    return ArchiveBytes(directory, empty, false);
}

TArrayOfByte ChainArchive(int32_t depth, bool everyLevel, bool bigEndian) {
    const TArrayOfByte stream = CompressBytes("x", 1);
    TArrayOfByte directory;
    const auto putFiles = [&](int32_t count) {
        PutInt(directory, bigEndian, count);
        if (count == 0) return;
        PutName(directory, bigEndian, "f");
        PutInt(directory, bigEndian, 0);
        PutInt(directory, bigEndian, static_cast<int32_t>(stream.size()));
        PutInt(directory, bigEndian, 1);
    };
    for (int32_t level = 0; level < depth; ++level) {
        PutInt(directory, bigEndian, 1);
        PutName(directory, bigEndian, "d");
    }
    PutInt(directory, bigEndian, 0);
    putFiles(1);
    for (int32_t level = 0; level < depth; ++level) putFiles(everyLevel ? 1 : 0);
    return ArchiveBytes(directory, stream, bigEndian);
}

TArrayOfByte FileBesideFolderOfItsNameArchive(bool bigEndian) {
    const TestArchive archive = EncodeTree(
        TestFolder{"", {{"x", {}, {{"y", Bytes("below")}}}}, {{"x", Bytes("clash")}, {"z", Bytes("after")}}}, bigEndian);
    return ArchiveBytes(archive.directory, archive.data, bigEndian);
}
