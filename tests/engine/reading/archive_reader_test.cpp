#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <limits>

#include "engine/reading/archive_reader.h"
#include "engine/reading/internal/archive_reader.h"
#include "engine/format/internal/directory_walk.h"
#include "helpers/allocation_probe.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/crafted_archives.h"
#include "helpers/temp_dir.h"
#include "support/errors.h"
#include "support/host_file.h"
#include "support/number_text.h"
#include "support/zlib_adapter.h"

namespace {

struct Listed {
    bool ok = false;
    TStringList lines;
};

Listed List(const std::string& path, bool bigEndian = false, TStringList lines = {}) {
    Listed listed;
    listed.lines = std::move(lines);
    listed.ok = ExtractArchive({.bigEndian = bigEndian, .archivePath = path, .listing = &listed.lines}).ok;
    return listed;
}

// The root holds the folder data with a.txt (5 bytes) in it, and the empty file readme.txt.
TestFolder ExampleTree() {
    TestFolder root;
    root.folders.push_back({"data", {}, {{"a.txt", Bytes("hello")}}});
    root.files.push_back({"readme.txt", {}});
    return root;
}

const TStringList kExampleLines = {
    "0000001D*00000000*0000003D*0000000D*00000005*data\\a.txt",
    "0000003B*0000000D*0000004A*00000008*00000000*readme.txt",
};

// Builds directory images by hand, field by field, in one byte order.
class DirectoryImage {
public:
    explicit DirectoryImage(bool bigEndian = false) : bigEndian_(bigEndian) {}
    DirectoryImage& Int(int32_t value) {
        PutInt(bytes_, bigEndian_, value);
        return *this;
    }
    DirectoryImage& Name(const std::string& name) {
        PutName(bytes_, bigEndian_, name);
        return *this;
    }
    DirectoryImage& File(const std::string& name, int32_t dataOffset, int32_t packedSize, int32_t unpackedSize) {
        return Name(name).Int(dataOffset).Int(packedSize).Int(unpackedSize);
    }
    const TArrayOfByte& Bytes() const { return bytes_; }

private:
    bool bigEndian_;
    TArrayOfByte bytes_;
};

int32_t HeaderSizeOf(const TArrayOfByte& archive) { return ReadInt32At(archive, 4); }

std::string Line(int32_t entryPos, int32_t dataOffset, int32_t headerSize, int32_t packedSize, int32_t unpackedSize,
                 const std::string& path) {
    return HexLong(entryPos) + "*" + HexLong(dataOffset) + "*" + HexLong(headerSize + dataOffset) + "*" +
           HexLong(packedSize) + "*" + HexLong(unpackedSize) + "*" + path;
}

class ArchiveTest : public ::testing::Test {
protected:
    // An archive around a hand-made directory image; listing reads no file data.
    TArrayOfByte WriteDirectory(const TArrayOfByte& directory, bool bigEndian = false) {
        const TArrayOfByte archive = ArchiveBytes(directory, {}, bigEndian);
        WriteFile(path, archive);
        return archive;
    }

    TempDir dir;
    std::string path = dir / "test.pak";
};

using Listing = ArchiveTest;
using HeaderCheck = ArchiveTest;
using DirectoryWalk = ArchiveTest;

}  // namespace

// ---- the listing of well-formed archives ---------------------------------------------

TEST_F(Listing, ReproducesTheTwoLineExampleByteForByte) {
    WriteTestArchive(path, ExampleTree());
    const TArrayOfByte bytes = ReadFileBytes(path);
    EXPECT_EQ(ReadInt32At(bytes, 0), 71);
    EXPECT_EQ(HeaderSizeOf(bytes), 61);  // the directory compresses to 53 bytes
    EXPECT_EQ(bytes.size(), 61u + 13u + 8u);

    const Listed listed = List(path);
    EXPECT_TRUE(listed.ok);
    EXPECT_EQ(listed.lines, kExampleLines);
}

TEST_F(Listing, NumbersStandInFixedColumnsAndThePathFollowsThePrefix) {
    WriteTestArchive(path, ExampleTree());
    const Listed listed = List(path);
    ASSERT_TRUE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 2u);
    const std::string& line = listed.lines[1];
    EXPECT_EQ(ListingField(line, kEntryPosColumn), 0x3B);
    EXPECT_EQ(ListingField(line, kDataOffsetColumn), 13);
    EXPECT_EQ(ListingField(line, kAbsOffsetColumn), 61 + 13);
    EXPECT_EQ(ListingField(line, kPackedSizeColumn), 8);
    EXPECT_EQ(ListingField(line, kUnpackedSizeColumn), 0);
    EXPECT_EQ(line.substr(45), "readme.txt");
}

TEST_F(Listing, BigEndianArchiveGivesTheSameLinesWithTheFlagSet) {
    WriteTestArchive(path, ExampleTree(), true);
    const TArrayOfByte bytes = ReadFileBytes(path);
    EXPECT_EQ(TArrayOfByte(bytes.begin(), bytes.begin() + 4), (TArrayOfByte{0, 0, 0, 71}));
    // The big-endian directory compresses to another length, so only AbsOffset may differ.
    const int32_t headerSize = FromArchiveOrder(true, HeaderSizeOf(bytes));

    const Listed listed = List(path, true);
    EXPECT_TRUE(listed.ok);
    EXPECT_EQ(listed.lines, (TStringList{Line(0x1D, 0, headerSize, 13, 5, "data\\a.txt"),
                                         Line(0x3B, 13, headerSize, 8, 0, "readme.txt")}));
}

TEST_F(Listing, TheWrongByteOrderFlagFails) {
    WriteTestArchive(path, ExampleTree(), true);
    EXPECT_FALSE(List(path, false).ok);
    WriteTestArchive(path, ExampleTree(), false);
    EXPECT_FALSE(List(path, true).ok);
}

TEST_F(Listing, ListingTwiceIntoOneListGivesTheSameLines) {
    WriteTestArchive(path, ExampleTree());
    TStringList lines = {"a stale line"};
    EXPECT_TRUE(ExtractArchive({.archivePath = path, .listing = &lines}).ok);
    EXPECT_TRUE(ExtractArchive({.archivePath = path, .listing = &lines}).ok);
    EXPECT_EQ(lines, kExampleLines);
}

TEST_F(Listing, AnEmptyDirectoryArchiveListsNothingAndSucceeds) {
    WriteTestArchive(path, TestFolder{});
    const TArrayOfByte bytes = ReadFileBytes(path);
    EXPECT_EQ(ReadInt32At(bytes, 0), 8);
    EXPECT_EQ(static_cast<int32_t>(bytes.size()), HeaderSizeOf(bytes));

    const Listed listed = List(path, false, {"stale"});
    EXPECT_TRUE(listed.ok);
    EXPECT_TRUE(listed.lines.empty());
}

TEST_F(Listing, AFileInTheRootHasItsBareName) {
    TestFolder root;
    root.files.push_back({"top.bin", Bytes("x")});
    WriteTestArchive(path, root);
    const Listed listed = List(path);
    ASSERT_TRUE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 1u);
    EXPECT_EQ(listed.lines[0].substr(45), "top.bin");
    EXPECT_EQ(listed.lines[0].substr(0, 9), "00000013*");  // two counts, the length, the name
}

TEST_F(Listing, AnEmptyFolderProducesNoLine) {
    TestFolder root;
    root.folders.push_back({"empty", {}, {}});
    root.folders.push_back({"outer", {{"inner-empty", {}, {}}}, {{"f", Bytes("1")}}});
    WriteTestArchive(path, root);
    const Listed listed = List(path);
    ASSERT_TRUE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 1u);
    EXPECT_EQ(listed.lines[0].substr(45), "outer\\f");
}

TEST_F(Listing, LinesFollowTheDepthFirstWalk) {
    TestFolder root;
    TestFolder a{"a", {{"b", {}, {{"x", Bytes("1")}}}}, {{"y", Bytes("22")}}};
    root.folders.push_back(a);
    root.folders.push_back({"c", {}, {{"w", Bytes("333")}}});
    root.files.push_back({"z", Bytes("4444")});
    WriteTestArchive(path, root);
    const Listed listed = List(path);
    ASSERT_TRUE(listed.ok);
    TStringList paths;
    int32_t expectedOffset = 0;
    for (const std::string& line : listed.lines) {
        paths.push_back(line.substr(45));
        EXPECT_EQ(ListingField(line, kDataOffsetColumn), expectedOffset);  // streams lie in walk order
        expectedOffset += ListingField(line, kPackedSizeColumn);
    }
    EXPECT_EQ(paths, (TStringList{"a\\b\\x", "a\\y", "c\\w", "z"}));
}

TEST_F(Listing, AbsOffsetWrapsAroundAt32Bits) {
    const TArrayOfByte archive = WriteDirectory(DirectoryImage().Int(0).Int(1).File("w", 0x7FFFFFFF, -1, -2).Bytes());
    const int32_t headerSize = HeaderSizeOf(archive);
    const Listed listed = List(path);
    ASSERT_TRUE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 1u);
    const uint32_t wrapped = static_cast<uint32_t>(headerSize) + 0x7FFFFFFFu;
    EXPECT_EQ(listed.lines[0], "0000000D*7FFFFFFF*" + HexLong(static_cast<int32_t>(wrapped)) + "*FFFFFFFF*FFFFFFFE*w");
}

TEST_F(Listing, NamesOfLengthZeroAnd65000AreAccepted) {
    const std::string longest(65000, 'n');
    WriteDirectory(DirectoryImage().Int(0).Int(2).File("", 0, 8, 0).File(longest, 8, 8, 0).Bytes());
    const Listed listed = List(path);
    ASSERT_TRUE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 2u);
    EXPECT_EQ(listed.lines[0].size(), 45u);
    EXPECT_EQ(listed.lines[1].substr(45), longest);
}

TEST_F(Listing, TheDefaultLevelZlibHeaderIsAccepted) {
    TArrayOfByte archive = ArchiveBytes(EncodeTree(ExampleTree(), false).directory, {}, false);
    ASSERT_EQ(archive[9], 0xDA);
    archive[9] = 0x9C;  // still a valid header: 0x789C is a multiple of 31
    WriteFile(path, archive);
    const Listed listed = List(path);
    EXPECT_TRUE(listed.ok);
    EXPECT_EQ(listed.lines, kExampleLines);
}

TEST_F(Listing, NestingOf300000FoldersEndsInAResult) {
    constexpr int kDepth = 300000;
    DirectoryImage image;
    for (int i = 0; i < kDepth; ++i) image.Int(1).Name("d");
    image.Int(0).Int(1).File("f", 0, 13, 5);
    for (int i = 0; i < kDepth; ++i) image.Int(0);
    WriteDirectory(image.Bytes());

    const Listed listed = List(path);
    EXPECT_TRUE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 1u);
    std::string expectedPath;
    for (int i = 0; i < kDepth; ++i) expectedPath += "d\\";
    expectedPath += "f";
    EXPECT_EQ(listed.lines[0].substr(45), expectedPath);
    EXPECT_EQ(ListingField(listed.lines[0], kEntryPosColumn), kDepth * 9 + 4 + 4 + 4 + 1);
}

TEST_F(Listing, NestingWithoutAnEndFailsWithoutCrashing) {
    DirectoryImage image;
    for (int i = 0; i < 300000; ++i) image.Int(1).Name("d");
    WriteDirectory(image.Bytes());
    EXPECT_FALSE(List(path).ok);
}

// ---- the header and the compressed directory ---------------------------------------

TEST_F(HeaderCheck, MissingArchiveEmptyPathAndDirectoryAreRefusedLeavingTheListing) {
    for (const std::string& p : {dir / "missing.pak", std::string(), dir.Path()}) {
        const Listed listed = List(p, false, {"keep"});
        EXPECT_FALSE(listed.ok) << p;
        EXPECT_EQ(listed.lines, TStringList{"keep"});
    }
}

TEST_F(HeaderCheck, AFifoIsRefusedWithoutBeingRead) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    const int holder = ::open(path.c_str(), O_RDWR | O_NONBLOCK);  // so no open of it can block
    ASSERT_GE(holder, 0);
    Listed listed;
    EXPECT_NO_THROW(listed = List(path, false, {"keep"}));
    EXPECT_FALSE(listed.ok);
    EXPECT_EQ(listed.lines, TStringList{"keep"});
    ::close(holder);
}

TEST_F(HeaderCheck, AFileCutShortOfItsHeaderIsRefusedLeavingTheListing) {
    const TArrayOfByte whole = ArchiveBytes(EncodeTree(ExampleTree(), false).directory, {}, false);
    // Empty, inside the two fixed integers, one byte short of the compressed directory.
    for (const size_t length : {size_t{0}, size_t{7}, whole.size() - 1}) {
        WriteFile(path, TArrayOfByte(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
        const Listed listed = List(path, false, {"keep"});
        EXPECT_FALSE(listed.ok) << length;
        EXPECT_EQ(listed.lines, TStringList{"keep"}) << length;
    }
}

TEST_F(HeaderCheck, UnpackedDirSizeOfZeroOrLessIsRefused) {
    for (int32_t size : {0, -1, std::numeric_limits<int32_t>::min()}) {
        TArrayOfByte archive = ArchiveBytes(EncodeTree(ExampleTree(), false).directory, {}, false);
        WriteInt32At(archive, 0, size);
        WriteFile(path, archive);
        EXPECT_FALSE(List(path).ok) << size;
    }
}

namespace {
// The header's two integers followed by a valid compressed directory.
TArrayOfByte HeaderThenDirectory(int32_t headerSize) {
    const TArrayOfByte directory = EncodeTree(ExampleTree(), false).directory;
    TArrayOfByte archive;
    PutInt(archive, false, static_cast<int32_t>(directory.size()));
    PutInt(archive, false, headerSize);
    const TArrayOfByte packed = CompressBytes(directory.data(), static_cast<int32_t>(directory.size()));
    archive.insert(archive.end(), packed.begin(), packed.end());
    return archive;
}
}  // namespace

TEST_F(HeaderCheck, HeaderSizeOfTenIsRefusedBeforeTheDirectoryIsRead) {
    WriteFile(path, HeaderThenDirectory(10));
    HostFile file(path, HostFile::Mode::Read);
    Veldane_PAK_HeaderType header;
    TArrayOfByte directory;
    EXPECT_FALSE(ReadArchiveHeader(false, file, header, directory));
    EXPECT_TRUE(header.PackedDir.empty());
    EXPECT_TRUE(directory.empty());
    EXPECT_FALSE(List(path).ok);
}

TEST_F(HeaderCheck, HeaderSizeAboveTenMiBIsRefusedBeforeTheDirectoryIsRead) {
    WriteFile(path, HeaderThenDirectory(10485761));
    HostFile file(path, HostFile::Mode::Read);
    Veldane_PAK_HeaderType header;
    TArrayOfByte directory;
    ResetLargestAllocation();
    EXPECT_FALSE(ReadArchiveHeader(false, file, header, directory));
    EXPECT_LT(LargestAllocation(), size_t{1} << 20);
    EXPECT_TRUE(header.PackedDir.empty());
    EXPECT_FALSE(List(path).ok);
}

TEST_F(HeaderCheck, HeaderSizeOfExactlyTenMiBIsAccepted) {
    TArrayOfByte archive = HeaderThenDirectory(10485760);
    archive.resize(10485760);  // the stream, then filler up to the data area
    WriteFile(path, archive);
    const Listed listed = List(path);
    EXPECT_TRUE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 2u);
    EXPECT_EQ(listed.lines[0].substr(0, 27), "0000001D*00000000*00A00000*");
}

TEST_F(HeaderCheck, OtherZlibHeadersAreRefusedThoughTheStreamIsValid) {
    for (uint8_t flags : {uint8_t{0x01}, uint8_t{0x5E}}) {
        TArrayOfByte archive = ArchiveBytes(EncodeTree(ExampleTree(), false).directory, {}, false);
        archive[9] = flags;
        TArrayOfByte inflated;
        DecompressToBuffer(archive.data() + 8, HeaderSizeOf(archive) - 8, inflated);
        ASSERT_EQ(inflated.size(), 71u);  // zlib itself accepts the stream
        WriteFile(path, archive);
        EXPECT_FALSE(List(path).ok) << int{flags};
    }
}

TEST_F(HeaderCheck, ADecompressedLengthOtherThanUnpackedDirSizeIsRefused) {
    for (int32_t delta : {-1, 1, 1000000}) {
        TArrayOfByte archive = ArchiveBytes(EncodeTree(ExampleTree(), false).directory, {}, false);
        WriteInt32At(archive, 0, 71 + delta);
        WriteFile(path, archive);
        const Listed listed = List(path, false, {"keep"});
        EXPECT_FALSE(listed.ok) << delta;
        EXPECT_EQ(listed.lines, TStringList{"keep"});
    }
}

TEST_F(HeaderCheck, ACorruptCompressedDirectoryRaisesADecompressionErrorThatSaysItIsTheDirectory) {
    TArrayOfByte archive;
    PutInt(archive, false, 100);
    PutInt(archive, false, 8 + 8);
    for (uint8_t b : {0x78, 0xDA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) archive.push_back(b);
    WriteFile(path, archive);
    try {
        List(path);
        FAIL() << "no error raised";
    } catch (const EDecompressionError& error) {
        EXPECT_EQ(error.what(), "Damaged directory in \"" + path + "\"");
    }
}

TEST_F(HeaderCheck, ReadArchiveHeaderFillsTheRecordAndKeepsThePosition) {
    WriteTestArchive(path, ExampleTree());
    const TArrayOfByte bytes = ReadFileBytes(path);
    HostFile file(path, HostFile::Mode::Read);
    file.Seek(5);
    Veldane_PAK_HeaderType header;
    TArrayOfByte directory;
    ASSERT_TRUE(ReadArchiveHeader(false, file, header, directory));
    EXPECT_EQ(file.Position(), 5);
    EXPECT_EQ(header.UnpackedDirSize, 71);
    EXPECT_EQ(header.HeaderSize, 61);
    EXPECT_EQ(header.PackedDir, TArrayOfByte(bytes.begin() + 8, bytes.begin() + 61));
    EXPECT_EQ(directory, EncodeTree(ExampleTree(), false).directory);
}

TEST_F(HeaderCheck, ReadArchiveHeaderKeepsThePositionWhenItRefuses) {
    TArrayOfByte archive = ArchiveBytes(EncodeTree(ExampleTree(), false).directory, {}, false);
    archive[9] = 0x01;
    WriteFile(path, archive);
    HostFile file(path, HostFile::Mode::Read);
    file.Seek(17);
    Veldane_PAK_HeaderType header;
    TArrayOfByte directory;
    EXPECT_FALSE(ReadArchiveHeader(false, file, header, directory));
    EXPECT_EQ(file.Position(), 17);
}

TEST_F(HeaderCheck, ADirectoryDeclaredBeyondWhatItsStreamCanInflateToIsRefusedBeforeInflating) {
    // 72 MiB of zeros inflate from about 73 KB, near deflate's best ratio; one byte more than
    // that length could ever give is refused without inflating any of it.
    const TArrayOfByte packed = CompressedZeros(72 << 20);
    const int64_t declared = MaxInflatedSize(static_cast<int64_t>(packed.size())) + 1;
    WriteFile(path, ArchiveDeclaringDirectory(packed, static_cast<int32_t>(declared)));
    HostFile file(path, HostFile::Mode::Read);
    Veldane_PAK_HeaderType header;
    TArrayOfByte directory;
    ResetLargestAllocation();
    EXPECT_FALSE(ReadArchiveHeader(false, file, header, directory));
    EXPECT_LT(LargestAllocation(), kLargeAllocation);
    EXPECT_TRUE(directory.empty());
}

TEST_F(HeaderCheck, AnHonestDirectoryNearTheBestRatioIsRead) {
    const size_t zeros = 1 << 20;
    const TArrayOfByte packed = CompressedZeros(zeros);
    // As close to the bound as zlib gets: within a few percent of it.
    ASSERT_GT(static_cast<int64_t>(zeros) * 100, MaxInflatedSize(static_cast<int64_t>(packed.size())) * 95);
    WriteFile(path, ArchiveDeclaringDirectory(packed, static_cast<int32_t>(zeros)));
    HostFile file(path, HostFile::Mode::Read);
    Veldane_PAK_HeaderType header;
    TArrayOfByte directory;
    EXPECT_TRUE(ReadArchiveHeader(false, file, header, directory));
    EXPECT_EQ(directory, TArrayOfByte(zeros, 0));
}

// ---- walking faulty directories --------------------------------------------------------

TEST_F(DirectoryWalk, ADirectoryOneByteShortFails) {
    TArrayOfByte directory = EncodeTree(ExampleTree(), false).directory;
    directory.pop_back();
    WriteDirectory(directory);
    const Listed listed = List(path);
    EXPECT_FALSE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 1u);  // the record that fits is listed, the cut one is not
    EXPECT_EQ(listed.lines[0].substr(45), "data\\a.txt");
}

TEST_F(DirectoryWalk, ADirectoryOneByteLongFailsWithAllLinesListed) {
    TArrayOfByte directory = EncodeTree(ExampleTree(), false).directory;
    directory.push_back(0);
    WriteDirectory(directory);
    const Listed listed = List(path);
    EXPECT_FALSE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(listed.lines[i].substr(0, 18), kExampleLines[i].substr(0, 18));
        EXPECT_EQ(listed.lines[i].substr(27), kExampleLines[i].substr(27));
    }
}

TEST_F(DirectoryWalk, ANameLengthOfMinusOneGivesAnErrorLineAndFails) {
    const TArrayOfByte archive = WriteDirectory(DirectoryImage().Int(0).Int(1).Int(-1).Int(0).Int(13).Int(5).Bytes());
    const Listed listed = List(path);
    EXPECT_FALSE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 1u);
    EXPECT_EQ(listed.lines[0], Line(12, 0, HeaderSizeOf(archive), 13, 5, "**error**"));
}

TEST_F(DirectoryWalk, ANameLengthOf65001GivesAnErrorLineAndFails) {
    WriteDirectory(DirectoryImage().Int(0).Int(1).Int(65001).Int(0).Int(13).Int(5).Bytes());
    const Listed listed = List(path);
    EXPECT_FALSE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 1u);
    EXPECT_NE(listed.lines[0].find("**error**"), std::string::npos);
}

TEST_F(DirectoryWalk, AFolderNameOutOfRangeGivesAnErrorPathAndFails) {
    WriteDirectory(DirectoryImage().Int(1).Int(-1).Int(0).Int(1).File("f", 0, 13, 5).Int(0).Bytes());
    const Listed listed = List(path);
    EXPECT_FALSE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 1u);
    EXPECT_EQ(listed.lines[0].substr(45), "**error**\\f");
}

TEST_F(DirectoryWalk, ANegativeFileCountListsNothingAndIsNoError) {
    WriteDirectory(DirectoryImage().Int(0).Int(-1).Bytes());
    Listed listed = List(path);
    EXPECT_TRUE(listed.ok);
    EXPECT_TRUE(listed.lines.empty());

    WriteDirectory(DirectoryImage().Int(0).Int(std::numeric_limits<int32_t>::min()).Bytes());
    listed = List(path);
    EXPECT_TRUE(listed.ok);
    EXPECT_TRUE(listed.lines.empty());
}

TEST_F(DirectoryWalk, ANegativeFolderCountMeansNoFolders) {
    WriteDirectory(DirectoryImage().Int(-3).Int(1).File("f", 0, 13, 5).Bytes());
    const Listed listed = List(path);
    EXPECT_TRUE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 1u);
    EXPECT_EQ(listed.lines[0].substr(45), "f");
}

TEST_F(DirectoryWalk, AHugeFolderCountInAShortDirectoryFailsWithoutALargeAllocation) {
    WriteDirectory(DirectoryImage().Int(0x7FFFFFFF).Name("a").Int(0).Int(0).Bytes());
    ResetLargestAllocation();
    const Listed listed = List(path);
    EXPECT_LT(LargestAllocation(), kLargeAllocation);
    EXPECT_FALSE(listed.ok);
    EXPECT_TRUE(listed.lines.empty());
}

TEST_F(DirectoryWalk, AHugeFileCountInAShortDirectoryFailsWithoutALargeAllocation) {
    WriteDirectory(DirectoryImage().Int(0).Int(0x7FFFFFFF).File("f", 0, 13, 5).Bytes());
    ResetLargestAllocation();
    const Listed listed = List(path);
    EXPECT_LT(LargestAllocation(), kLargeAllocation);
    EXPECT_FALSE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 1u);
    EXPECT_EQ(listed.lines[0].substr(45), "f");
}

TEST_F(DirectoryWalk, ANameRunningPastTheEndFails) {
    DirectoryImage image;
    image.Int(0).Int(1).Int(100);
    TArrayOfByte directory = image.Bytes();
    for (char c : std::string("abc")) directory.push_back(static_cast<uint8_t>(c));
    WriteDirectory(directory);
    const Listed listed = List(path);
    EXPECT_FALSE(listed.ok);
    EXPECT_TRUE(listed.lines.empty());
}

TEST_F(DirectoryWalk, AFileRecordCutShortFails) {
    TArrayOfByte directory = DirectoryImage().Int(0).Int(1).Name("f").Int(0).Int(13).Bytes();
    directory.push_back(5);  // one byte of the last integer
    WriteDirectory(directory);
    const Listed listed = List(path);
    EXPECT_FALSE(listed.ok);
    EXPECT_TRUE(listed.lines.empty());
}

TEST_F(DirectoryWalk, BigEndianFaultsAreFoundAlike) {
    WriteDirectory(DirectoryImage(true).Int(0).Int(1).Int(-1).Int(0).Int(13).Int(5).Bytes(), true);
    const Listed listed = List(path, true);
    EXPECT_FALSE(listed.ok);
    ASSERT_EQ(listed.lines.size(), 1u);
    EXPECT_NE(listed.lines[0].find("**error**"), std::string::npos);
}

TEST(DirectoryWalkLimit, AListingThatOutgrowsItsLimitStopsTheWalk) {
    // One folder with a long name holding many files: every line repeats the long path.
    const std::string longName(60000, 'n');
    TArrayOfByte directory;
    PutInt(directory, false, 1);
    PutName(directory, false, longName);
    PutInt(directory, false, 0);
    PutInt(directory, false, 100);
    for (int i = 0; i < 100; ++i) {
        PutName(directory, false, "f");
        for (int k = 0; k < 3; ++k) PutInt(directory, false, 8);
    }
    PutInt(directory, false, 0);

    TStringList listing;
    const TWalkResult unlimited = WalkDirectory(false, directory, 20, listing);
    EXPECT_FALSE(unlimited.tooLarge);
    EXPECT_EQ(listing.size(), 100u);

    listing.clear();
    const TWalkResult limited = WalkDirectory(false, directory, 20, listing, {.listingBytes = 49 * (45 + 60001 + 1)});
    EXPECT_TRUE(limited.tooLarge);
    EXPECT_EQ(listing.size(), 49u);
}

TEST(DirectoryWalkLimit, AWalkStopsOnceItsFileRecordsPassTheirLimit) {
    const TArrayOfByte directory = DirectoryImage().Int(0).Int(3).File("a", 0, 8, 0).File("b", 0, 8, 0)
                                       .File("c", 0, 8, 0).Bytes();
    const struct {
        int64_t limit;
        bool tooLarge;
        size_t lines;
    } cases[] = {{3, false, 3}, {2, true, 2}, {0, true, 0}};
    for (const auto& c : cases) {
        TStringList listing;
        const TWalkResult walk = WalkDirectory(false, directory, 20, listing, {.fileRecords = c.limit});
        EXPECT_EQ(walk.tooLarge, c.tooLarge) << c.limit;
        EXPECT_EQ(listing.size(), c.lines) << c.limit;
    }
}

TEST_F(Listing, ManyRecordsSharingOneEmptyStreamAreRefusedWithABoundedListing) {
    // 300,000 records, one 8-byte stream: the listing would be a thousand times the archive.
    WriteFile(path, SharedStreamArchive(300000, {}));
    ASSERT_LT(ReadFileBytes(path).size(), 64u * 1024u);
    ResetLargestAllocation();
    const auto start = std::chrono::steady_clock::now();
    const Listed listed = List(path);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_FALSE(listed.ok);
    EXPECT_LE(static_cast<int64_t>(listed.lines.size()), MaxFileRecords(8));
    EXPECT_LT(LargestAllocation(), kLargeAllocation);
}

TEST_F(Listing, AnArchiveOfManyEmptyFilesEachWithItsOwnStreamLists) {
    // More records than the allowance alone admits: the data area pays for them.
    constexpr int32_t kFiles = 100000;
    const TArrayOfByte emptyStream = CompressBytes(nullptr, 0);
    ASSERT_EQ(static_cast<int64_t>(emptyStream.size()), kSmallestStreamSize);
    DirectoryImage image;
    image.Int(0).Int(kFiles);
    TArrayOfByte data;
    for (int32_t i = 0; i < kFiles; ++i) {
        image.File("e" + std::to_string(i), static_cast<int32_t>(data.size()), 8, 0);
        data.insert(data.end(), emptyStream.begin(), emptyStream.end());
    }
    WriteFile(path, ArchiveBytes(image.Bytes(), data, false));
    const Listed listed = List(path);
    EXPECT_TRUE(listed.ok);
    EXPECT_EQ(listed.lines.size(), static_cast<size_t>(kFiles));
}

// ---- why a listing failed ----------------------------------------------------------

namespace {

TNotices ListNoting(const std::string& path, bool bigEndian = false) {
    TStringList lines;
    TNotices notices;
    EXPECT_FALSE(ExtractArchive({.bigEndian = bigEndian, .archivePath = path, .notices = &notices, .listing = &lines}).ok);
    return notices;
}

}  // namespace

TEST_F(HeaderCheck, EachRefusalIsToldOnceWithItsReason) {
    const TArrayOfByte whole = ArchiveBytes(EncodeTree(ExampleTree(), false).directory, {}, false);
    TArrayOfByte longer = EncodeTree(ExampleTree(), false).directory;
    longer.push_back(0);
    TArrayOfByte wrongSize = whole;
    WriteInt32At(wrongSize, 0, ReadInt32At(wrongSize, 0) + 1);
    const struct {
        TArrayOfByte archive;
        std::string reason;
    } cases[] = {
        {TArrayOfByte(whole.begin(), whole.begin() + 7), "it is shorter than an archive's header"},
        {TArrayOfByte(whole.begin(), whole.end() - 1), "it ends inside its directory"},
        {Bytes("this is not an archive at all"), "it is not a .PAK archive, or its header is damaged"},
        {wrongSize, "its directory does not inflate to the size its header gives"},
        {ArchiveBytes(longer, {}, false), "its directory is damaged"},
    };
    for (const auto& c : cases) {
        WriteFile(path, c.archive);
        const TNotices notices = ListNoting(path);
        ASSERT_EQ(notices.size(), 1u) << c.reason;
        EXPECT_EQ(notices[0].path, path);
        EXPECT_EQ(notices[0].text, "cannot read the archive \"" + path + "\": " + c.reason);
        EXPECT_EQ(notices[0].advice, TAdvice::None);
    }
}

TEST_F(HeaderCheck, APathThatNamesNoFileIsToldWithTheReason) {
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    const struct {
        std::string path, reason;
    } cases[] = {
        {dir / "missing.pak", "No such file or directory"},
        {dir / "missing/x.pak", "No such file or directory"},
        {"", "no archive was named"},
        {dir.Path(), "it is a folder"},
        {dir / "fifo", "it is a device, FIFO or socket, not a file"},
    };
    for (const auto& c : cases) {
        const TNotices notices = ListNoting(c.path);
        ASSERT_EQ(notices.size(), 1u) << c.path;
        EXPECT_EQ(notices[0].text, "cannot open the archive \"" + c.path + "\": " + c.reason);
    }
}
