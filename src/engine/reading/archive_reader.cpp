#include "engine/reading/archive_reader.h"

#include "engine/reading/internal/archive_reader.h"
#include "engine/reading/internal/archive_reading.h"
#include "engine/format/internal/directory_walk.h"
#include "engine/extraction/internal/extraction.h"
#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/number_text.h"
#include "support/zlib_adapter.h"

namespace {

constexpr const char* kCannotOpen = "cannot open the archive";
constexpr const char* kCannotRead = "cannot read the archive";
constexpr const char* kNotAnArchive = "it is not a .PAK archive, or its header is damaged";

// The two fixed integers, checked before the compressed directory is read. No zlib stream
// inflates past MaxInflatedSize of its length, so a larger declared directory is refused
// here instead of after inflating gigabytes of a crafted stream of zeros.
bool FixedFieldsAreSound(const Veldane_PAK_HeaderType& header) {
    if (header.UnpackedDirSize <= 0) return false;
    if (header.HeaderSize < kMinHeaderSize) return false;
    if (header.HeaderSize > kMaxHeaderSize) return false;
    return header.UnpackedDirSize <= MaxInflatedSize(header.HeaderSize - kFixedHeaderSize);
}

// The zlib routines say only "Error"; the user learns which stream it was.
template <typename TWork>
auto NamingTheDirectory(HostFile& archive, const TWork& work) {
    try {
        return work();
    } catch (const EDecompressionError&) {
        throw EDecompressionError("Damaged directory in \"" + archive.Path() + "\"");
    }
}

// What the archive is listed for: an update in place serves PC archives only.
enum class TPurpose { Read, Update };

// Reads the two fixed integers and the compressed directory; why they are not an archive's,
// "" when they may be.
std::string PackedDirectoryProblem(bool bigEndian, HostFile& archive, Veldane_PAK_HeaderType& header) {
    archive.Seek(0);
    uint8_t fixed[kFixedHeaderSize];
    if (archive.Read(fixed, kFixedHeaderSize) != kFixedHeaderSize) return "it is shorter than an archive's header";
    const TArrayOfByte fixedBytes(fixed, fixed + kFixedHeaderSize);
    header.UnpackedDirSize = FromArchiveOrder(bigEndian, ReadInt32At(fixedBytes, 0));
    header.HeaderSize = FromArchiveOrder(bigEndian, ReadInt32At(fixedBytes, 4));
    if (!FixedFieldsAreSound(header)) return kNotAnArchive;

    header.PackedDir.resize(static_cast<size_t>(header.HeaderSize - kFixedHeaderSize));
    const int64_t packedLength = BufferLength(header.PackedDir);
    if (archive.Read(header.PackedDir.data(), packedLength) != packedLength) return "it ends inside its directory";
    if (!HasZlibHeader(header.PackedDir)) return kNotAnArchive;
    return "";
}

constexpr const char* kOtherInflatedSize = "its directory does not inflate to the size its header gives";

// A directory whose walk ends before the size its header declares is refused whatever its
// stream holds beyond; its size is checked only when the rest is short to inflate, so that
// the refusal names the right fault without inflating gigabytes a header may declare.
constexpr int64_t kSizeCheckBudget = 16 << 20;

// What reading the directory found.
struct TDirectoryRead {
    TWalkResult walk;
    TDeclaredSize size = TDeclaredSize::Unchecked;
};

// Walks the directory into index as it is inflated, within the bounds an archive of its size
// allows, and checks the size its header declares. Raises EDecompressionError naming the
// directory when it does not inflate.
TDirectoryRead ReadDirectory(bool bigEndian, HostFile& archive, const Veldane_PAK_HeaderType& header,
                             TArchiveIndex& index) {
    const int64_t dataAreaSize = archive.Size() - header.HeaderSize;
    const TWalkLimits limits{.fileRecords = MaxFileRecords(dataAreaSize), .folderRecords = MaxFolderRecords(dataAreaSize)};
    TDirectoryImage image(header.PackedDir, header.UnpackedDirSize);
    index.headerSize = header.HeaderSize;
    TDirectoryRead read;
    NamingTheDirectory(archive, [&] {
        read.walk = WalkDirectory(bigEndian, image, header.HeaderSize, limits, index);
        read.size = image.CheckDeclaredSize(kSizeCheckBudget);
        return 0;
    });
    index.directory = image.Take();
    return read;
}

// True when the header and directory read in that byte order. Only a probe: a directory
// that does not inflate is no reason to raise here, and nothing of it is kept.
bool ReadsInOrder(bool bigEndian, HostFile& archive) {
    FilePositionGuard restorer(archive);
    Veldane_PAK_HeaderType header;
    try {
        if (!PackedDirectoryProblem(bigEndian, archive, header).empty()) return false;
        TArchiveIndex index;
        return ReadDirectory(bigEndian, archive, header, index).size == TDeclaredSize::Matches;
    } catch (const EZlibError&) {
        return false;
    }
}

// Tells why the header does not read; when it reads in the other byte order, that is the
// reason, and choosing the other flavour is the advice.
void TellUnreadableHeader(bool bigEndian, HostFile& archive, const std::string& problem, TPurpose purpose,
                          TNotices* notices) {
    const std::string& path = archive.Path();
    if (!ReadsInOrder(!bigEndian, archive)) {
        Notify(notices, path, NoticeText(kCannotRead, path, problem));
        return;
    }
    if (bigEndian) {
        Notify(notices, path, NoticeText(kCannotRead, path, "it reads as a PC archive"), TAdvice::ChoosePc);
    } else if (purpose == TPurpose::Update) {
        Notify(notices, path,
               NoticeText(kCannotRead, path, "it reads as an Xbox 360 archive, which cannot be updated in place"));
    } else {
        Notify(notices, path, NoticeText(kCannotRead, path, "it reads as an Xbox 360 archive"),
               TAdvice::ChooseXbox);
    }
}

std::string WalkProblem(const TWalkResult& walk, int32_t directorySize) {
    if (walk.tooLarge) return "its directory lists more than an archive of its size can hold";
    if (walk.overran || walk.cursor != directorySize || walk.errorCount != 0) return "its directory is damaged";
    return "";
}

// How far an archive was indexed.
enum class TIndexed {
    No,       // its header does not read: the index is as it was
    Partly,   // its directory's walk failed: the index holds what the walk met
    Wholly,
};

// Indexes the open archive; told in notices when its header or directory does not read. The
// directory is inflated as the walk reads it: a crafted header that declares gigabytes of
// directory costs no more memory than the records the walk meets.
TIndexed IndexOpenArchive(bool bigEndian, HostFile& archive, TArchiveIndex& index, TPurpose purpose,
                          TNotices* notices) {
    Veldane_PAK_HeaderType header;
    std::string problem;
    {
        FilePositionGuard restorer(archive);
        problem = PackedDirectoryProblem(bigEndian, archive, header);
    }
    if (!problem.empty()) {
        TellUnreadableHeader(bigEndian, archive, problem, purpose, notices);
        return TIndexed::No;
    }
    TArchiveIndex walked;
    const TDirectoryRead read = ReadDirectory(bigEndian, archive, header, walked);
    if (read.size == TDeclaredSize::Differs) {
        TellUnreadableHeader(bigEndian, archive, kOtherInflatedSize, purpose, notices);
        return TIndexed::No;
    }
    index = std::move(walked);
    const std::string walkProblem = WalkProblem(read.walk, header.UnpackedDirSize);
    if (walkProblem.empty()) return TIndexed::Wholly;
    Notify(notices, archive.Path(), NoticeText(kCannotRead, archive.Path(), walkProblem));
    return TIndexed::Partly;
}

}  // namespace

std::string ArchiveHeaderProblem(bool bigEndian, HostFile& archive, Veldane_PAK_HeaderType& header,
                                 TArrayOfByte& directory) {
    FilePositionGuard restorer(archive);
    const std::string problem = PackedDirectoryProblem(bigEndian, archive, header);
    if (!problem.empty()) return problem;
    TDirectoryImage image(header.PackedDir, header.UnpackedDirSize);
    const bool sized = NamingTheDirectory(archive, [&] {
        image.Reach(header.UnpackedDirSize);
        return image.CheckDeclaredSize() == TDeclaredSize::Matches;
    });
    directory = image.Take();
    return sized ? "" : kOtherInflatedSize;
}

bool ReadArchiveHeader(bool bigEndian, HostFile& archive, Veldane_PAK_HeaderType& header,
                       TArrayOfByte& directory) {
    return ArchiveHeaderProblem(bigEndian, archive, header, directory).empty();
}

bool CanOpenArchive(const std::string& archivePath, TNotices* notices) {
    const TOpenedArchive archive(archivePath);
    return CanOpenArchive(archive, notices);
}

bool CanOpenArchive(const TOpenedArchive& archive, TNotices* notices) {
    const std::string problem = archive.Problem();
    if (problem.empty()) return true;
    Notify(notices, archive.Path(), NoticeText(kCannotOpen, archive.Path(), problem));
    return false;
}

TExtractResult ExtractArchive(const TExtractRequest& request) {
    const TProgressScope scope(request.progress);
    TExtractResult result;
    TOpenedArchive opened(request.archivePath);
    if (!CanOpenArchive(opened, request.notices)) return result;

    // An update that was interrupted is rolled back before anything is read.
    const TArchiveReading reading(opened, request.notices);
    HostFile& archive = opened.Reader();
    TArchiveIndex index;
    const TIndexed indexed = IndexOpenArchive(request.bigEndian, archive, index, TPurpose::Read, request.notices);
    // A header that does not read leaves the listing as it was; a walk that fails keeps the
    // lines it met.
    if (indexed == TIndexed::No) return result;
    result.fileCount = static_cast<int64_t>(index.entries.size());
    if (request.listing != nullptr) {
        request.listing->clear();
        AppendListing(index, *request.listing);
    }
    if (indexed != TIndexed::Wholly) return result;
    if (request.targetDir.empty()) {
        result.ok = true;
        return result;
    }

    const TExtractionRequest extraction{request.bigEndian,  archive,           archive.Size(),
                                        index,              request.targetDir, request.targetFolder,
                                        request.hashTags,   request.convertLoc, request.progress,
                                        request.notices,    nullptr};
    const TExtractionTally tally = ExtractListedFiles(extraction);
    result.extractedCount = tally.written;
    result.ok = tally.Whole();
    return result;
}

bool IndexArchiveToUpdate(TOpenedArchive& archive, TArchiveIndex& index, TNotices* notices) {
    if (!CanOpenArchive(archive, notices)) return false;
    const TArchiveReading reading(archive, notices);
    return IndexOpenArchive(kPcByteOrder, archive.Reader(), index, TPurpose::Update, notices) == TIndexed::Wholly;
}

void HeaderOfIndex(const TArchiveIndex& index, Veldane_PAK_HeaderType& header, TArrayOfByte& directory) {
    directory = index.directory;
    header.UnpackedDirSize = BufferLength(directory);
    header.HeaderSize = index.headerSize;
    header.PackedDir.clear();
}

bool IndexOpenedArchive(bool bigEndian, HostFile& archive, TArchiveIndex& index, TNotices* notices) {
    return IndexOpenArchive(bigEndian, archive, index, TPurpose::Read, notices) == TIndexed::Wholly;
}
