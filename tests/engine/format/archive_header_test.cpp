#include <gtest/gtest.h>

#include <string>

#include "engine/format/internal/archive_header.h"
#include "engine/reading/internal/archive_reader.h"
#include "helpers/temp_dir.h"
#include "support/host_file.h"
#include "support/zlib_adapter.h"

namespace {

TArrayOfByte Directory() {
    TArrayOfByte directory;
    for (int i = 0; i < 200; ++i) directory.push_back(static_cast<uint8_t>(i % 7));
    return directory;
}

}  // namespace

TEST(HeaderOfDirectory, HoldsTheDirectoryCompressedAndItsSizeAndLeavesHeaderSizeToTheCaller) {
    const TArrayOfByte directory = Directory();
    const Veldane_PAK_HeaderType header = HeaderOfDirectory(directory);
    EXPECT_EQ(header.UnpackedDirSize, BufferLength(directory));
    EXPECT_EQ(header.PackedDir, CompressBytes(directory.data(), BufferLength(directory)));
    EXPECT_EQ(header.HeaderSize, 0);
    EXPECT_EQ(HeaderLength(header), 8 + static_cast<int64_t>(header.PackedDir.size()));
}

TEST(HeaderBytes, WritesTheTwoWordsInTheByteOrderThenTheCompressedDirectory) {
    Veldane_PAK_HeaderType header;
    header.UnpackedDirSize = 0x01020304;
    header.HeaderSize = 0x0A0B0C0D;
    header.PackedDir = {0x78, 0xDA, 0x55};
    EXPECT_EQ(HeaderBytes(false, header),
              (TArrayOfByte{0x04, 0x03, 0x02, 0x01, 0x0D, 0x0C, 0x0B, 0x0A, 0x78, 0xDA, 0x55}));
    EXPECT_EQ(HeaderBytes(true, header),
              (TArrayOfByte{0x01, 0x02, 0x03, 0x04, 0x0A, 0x0B, 0x0C, 0x0D, 0x78, 0xDA, 0x55}));
}

TEST(HeaderBytes, ReadBackByTheReaderInEitherByteOrder) {
    TempDir dir;
    for (const bool bigEndian : {false, true}) {
        Veldane_PAK_HeaderType header = HeaderOfDirectory(Directory());
        header.HeaderSize = static_cast<int32_t>(HeaderLength(header));
        WriteFile(dir / "head.pak", HeaderBytes(bigEndian, header));
        HostFile file(dir / "head.pak", HostFile::Mode::Read);
        Veldane_PAK_HeaderType read;
        TArrayOfByte directory;
        EXPECT_EQ(ArchiveHeaderProblem(bigEndian, file, read, directory), "") << bigEndian;
        EXPECT_EQ(read.HeaderSize, header.HeaderSize);
        EXPECT_EQ(read.PackedDir, header.PackedDir);
        EXPECT_EQ(directory, Directory());
    }
}
