#include "engine/format/internal/archive_header.h"

#include "support/zlib_adapter.h"

Veldane_PAK_HeaderType HeaderOfDirectory(const TArrayOfByte& directory) {
    Veldane_PAK_HeaderType header;
    header.UnpackedDirSize = BufferLength(directory);
    header.PackedDir = CompressBytes(directory.data(), BufferLength(directory));
    return header;
}

int64_t HeaderLength(const Veldane_PAK_HeaderType& header) {
    return kFixedHeaderSize + static_cast<int64_t>(header.PackedDir.size());
}

TArrayOfByte HeaderBytes(bool bigEndian, const Veldane_PAK_HeaderType& header) {
    TArrayOfByte head(kFixedHeaderSize);
    WriteInt32At(head, 0, FromArchiveOrder(bigEndian, header.UnpackedDirSize));
    WriteInt32At(head, 4, FromArchiveOrder(bigEndian, header.HeaderSize));
    head.insert(head.end(), header.PackedDir.begin(), header.PackedDir.end());
    return head;
}
