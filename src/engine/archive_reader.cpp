#include "engine/archive_reader.h"

#include "engine/internal/archive_reader.h"
#include "engine/internal/directory_walk.h"
#include "engine/internal/extraction.h"
#include "engine/internal/update_journal.h"
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
void InflateDirectory(HostFile& archive, const Veldane_PAK_HeaderType& header, TArrayOfByte& directory) {
    try {
        // Decompressing past the recorded size can only end in a refusal, so it stops there.
        DecompressToBuffer(header.PackedDir.data(), BufferLength(header.PackedDir), directory,
                           header.UnpackedDirSize);
    } catch (const EDecompressionError&) {
        throw EDecompressionError("Damaged directory in \"" + archive.Path() + "\"");
    }
}

// Why the path names nothing an archive can be read from; "" when it names a file. A FIFO,
// socket or device holds no archive, and opening one could block for ever.
std::string ArchiveFileProblem(const std::string& archivePath) {
    if (archivePath.empty()) return "no archive was named";
    const host::EntryInfo info = host::Stat(archivePath);
    switch (info.kind) {
        case host::EntryKind::File: return "";
        case host::EntryKind::Missing: return host::ErrorText(info.errorCode);
        case host::EntryKind::Directory: return "it is a folder";
        case host::EntryKind::Other: return "it is a device, FIFO or socket, not a file";
    }
    return "";
}

// What the archive is listed for: an update in place serves PC archives only.
enum class TPurpose { Read, Update };

// True when the header and directory read in that byte order. Only a probe: a directory
// that does not inflate is no reason to raise here.
bool ReadsInOrder(bool bigEndian, HostFile& archive) {
    Veldane_PAK_HeaderType header;
    TArrayOfByte directory;
    try {
        return ArchiveHeaderProblem(bigEndian, archive, header, directory).empty();
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

std::string WalkProblem(const TWalkResult& walk, const TArrayOfByte& directory) {
    if (walk.tooLarge) return "its directory lists more than an archive of its size can hold";
    if (walk.overran || walk.cursor != BufferLength(directory) || walk.errorCount != 0)
        return "its directory is damaged";
    return "";
}

// Lists the open archive; false, told in notices, when its header or directory does not read.
bool ListOpenArchive(bool bigEndian, HostFile& archive, TStringList& listing, TPurpose purpose, TNotices* notices,
                     const TDirectoryReadProc& directoryRead = {}) {
    const int64_t archiveSize = archive.Size();
    Veldane_PAK_HeaderType header;
    TArrayOfByte directory;
    const std::string headerProblem = ArchiveHeaderProblem(bigEndian, archive, header, directory);
    if (!headerProblem.empty()) {
        TellUnreadableHeader(bigEndian, archive, headerProblem, purpose, notices);
        return false;
    }
    if (directoryRead) directoryRead(directory);

    listing.clear();
    const TWalkLimits limits{.fileRecords = MaxFileRecords(archiveSize - header.HeaderSize)};
    const TWalkResult walk = WalkDirectory(bigEndian, directory, header.HeaderSize, listing, limits);
    const std::string walkProblem = WalkProblem(walk, directory);
    if (walkProblem.empty()) return true;
    Notify(notices, archive.Path(), NoticeText(kCannotRead, archive.Path(), walkProblem));
    return false;
}

}  // namespace

std::string ArchiveHeaderProblem(bool bigEndian, HostFile& archive, Veldane_PAK_HeaderType& header,
                                 TArrayOfByte& directory) {
    FilePositionGuard restorer(archive);

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
    InflateDirectory(archive, header, directory);
    if (BufferLength(directory) != header.UnpackedDirSize) return "its directory does not inflate to the size its header gives";
    return "";
}

bool ReadArchiveHeader(bool bigEndian, HostFile& archive, Veldane_PAK_HeaderType& header,
                       TArrayOfByte& directory) {
    return ArchiveHeaderProblem(bigEndian, archive, header, directory).empty();
}

bool CanOpenArchive(const std::string& archivePath, TNotices* notices) {
    const std::string problem = ArchiveFileProblem(archivePath);
    if (problem.empty()) return true;
    Notify(notices, archivePath, NoticeText(kCannotOpen, archivePath, problem));
    return false;
}

bool ExtractArchive(bool bigEndian, const std::string& archivePath, TStringList& listing,
                    int32_t& prefixLength, int32_t& suffixLength, const std::string& targetDir,
                    bool hashTags, bool convertLoc, const ProgressProc& progress, TNotices* notices,
                    TTargetFolder targetFolder) {
    const TProgressScope scope(progress);
    prefixLength = kPrefixLength;
    suffixLength = kSuffixLength;
    if (!CanOpenArchive(archivePath, notices)) return false;

    // An update that was interrupted is rolled back before anything is read.
    const TArchiveReading reading(archivePath, notices);
    HostFile archive(archivePath, HostFile::Mode::Read);
    const bool listed = ListOpenArchive(bigEndian, archive, listing, TPurpose::Read, notices);
    if (targetDir.empty() || !listed) return listed;

    TExtractionRequest request{bigEndian, archive,    archive.Size(), listing,  targetDir,   targetFolder,
                               hashTags,  convertLoc, progress,       notices,  nullptr};
    return ExtractListedFiles(request);
}

bool ListArchiveToUpdate(const std::string& archivePath, TStringList& listing, TNotices* notices) {
    if (!CanOpenArchive(archivePath, notices)) return false;
    const TArchiveReading reading(archivePath, notices);
    HostFile archive(archivePath, HostFile::Mode::Read);
    return ListOpenArchive(kPcByteOrder, archive, listing, TPurpose::Update, notices);
}

bool ListOpenedArchive(bool bigEndian, HostFile& archive, TStringList& listing, TNotices* notices,
                       const TDirectoryReadProc& directoryRead) {
    return ListOpenArchive(bigEndian, archive, listing, TPurpose::Read, notices, directoryRead);
}
