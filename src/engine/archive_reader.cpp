#include "engine/archive_reader.h"

#include "engine/directory_walk.h"
#include "engine/extraction.h"
#include "engine/update_journal.h"
#include "support/host.h"
#include "support/number_text.h"
#include "support/zlib_adapter.h"

namespace {

// The two fixed integers, checked before the compressed directory is read. No zlib stream
// inflates past MaxInflatedSize of its length, so a larger declared directory is refused
// here instead of after inflating gigabytes of a crafted stream of zeros.
bool FixedFieldsAreSound(const Veldane_PAK_HeaderType& header) {
    if (header.UnpackedDirSize <= 0) return false;
    if (header.HeaderSize < kMinHeaderSize) return false;
    if (header.HeaderSize > kMaxHeaderSize) return false;
    return header.UnpackedDirSize <= MaxInflatedSize(header.HeaderSize - kFixedHeaderSize);
}

}  // namespace

bool ReadArchiveHeader(bool bigEndian, HostFile& archive, Veldane_PAK_HeaderType& header,
                       TArrayOfByte& directory) {
    FilePositionGuard restorer(archive);

    archive.Seek(0);
    uint8_t fixed[kFixedHeaderSize];
    if (archive.Read(fixed, kFixedHeaderSize) != kFixedHeaderSize) return false;
    const TArrayOfByte fixedBytes(fixed, fixed + kFixedHeaderSize);
    header.UnpackedDirSize = FromArchiveOrder(bigEndian, ReadInt32At(fixedBytes, 0));
    header.HeaderSize = FromArchiveOrder(bigEndian, ReadInt32At(fixedBytes, 4));
    if (!FixedFieldsAreSound(header)) return false;

    header.PackedDir.resize(static_cast<size_t>(header.HeaderSize - kFixedHeaderSize));
    const int64_t packedLength = BufferLength(header.PackedDir);
    if (archive.Read(header.PackedDir.data(), packedLength) != packedLength) return false;

    if (!HasZlibHeader(header.PackedDir)) return false;

    // Decompressing past the recorded size can only end in a refusal, so it stops there.
    DecompressToBuffer(header.PackedDir.data(), BufferLength(header.PackedDir), directory,
                       header.UnpackedDirSize);
    return BufferLength(directory) == header.UnpackedDirSize;
}

int32_t ListingField(const std::string& line, int32_t column) {
    return HexToInt(line.substr(static_cast<size_t>(column), kHexFieldWidth));
}

bool ExtractArchive(bool bigEndian, const std::string& archivePath, TStringList& listing,
                    int32_t& prefixLength, int32_t& suffixLength, const std::string& targetDir,
                    bool hashTags, bool convertLoc, const ProgressProc& progress, TNotices* notices) {
    const TProgressScope scope(progress);
    prefixLength = kPrefixLength;
    suffixLength = kSuffixLength;
    if (!FileExistsSafe(archivePath)) return false;
    // A FIFO, socket or device holds no archive, and opening one could block for ever.
    if (host::Stat(archivePath).kind != host::EntryKind::File) return false;

    // An update that was interrupted is rolled back before anything is read.
    const TArchiveReading reading(archivePath, notices);
    HostFile archive(archivePath, HostFile::Mode::Read);
    const int64_t archiveSize = archive.Size();
    Veldane_PAK_HeaderType header;
    TArrayOfByte directory;
    if (!ReadArchiveHeader(bigEndian, archive, header, directory)) return false;

    listing.clear();
    const TWalkLimits limits{.fileRecords = MaxFileRecords(archiveSize - header.HeaderSize)};
    const TWalkResult walk = WalkDirectory(bigEndian, directory, header.HeaderSize, listing, limits);
    const bool walked = !walk.overran && !walk.tooLarge && walk.cursor == BufferLength(directory) && walk.errorCount == 0;
    if (targetDir.empty()) return walked;
    if (!walked) return false;

    TExtractionRequest request{bigEndian, archive, archiveSize, listing,  targetDir,
                               hashTags,  convertLoc, progress, notices};
    return ExtractListedFiles(request);
}
