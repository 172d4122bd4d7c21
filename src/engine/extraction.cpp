#include "engine/extraction.h"

#include "engine/archive_format.h"
#include "engine/archive_reader.h"
#include "engine/hash_tag.h"
#include "engine/loc_convert.h"
#include "support/host.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "support/zlib_adapter.h"

namespace {

constexpr const char* kCreatingFoldersText = "creating sub-directory structure...";

bool IsDrivePrefix(const std::string& component) {
    return component.size() >= 2 && component[1] == ':' &&
           ((component[0] >= 'A' && component[0] <= 'Z') || (component[0] >= 'a' && component[0] <= 'z'));
}

// An archive path may only name a place below the target directory: no component may be
// empty, "." or "..", none may begin with a drive, and a NUL would cut the name short on
// its way to the OS. Both separators count, since the host turns "\" into "/".
bool IsSafeArchivePath(const std::string& path) {
    if (path.empty()) return false;
    if (path.find('\0') != std::string::npos) return false;
    size_t start = 0;
    bool first = true;
    for (;;) {
        const size_t end = path.find_first_of("\\/", start);
        const std::string component = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (component.empty() || component == "." || component == "..") return false;
        if (first && IsDrivePrefix(component)) return false;
        if (end == std::string::npos) return true;
        start = end + 1;
        first = false;
    }
}

struct TListedFile {
    int32_t absOffset;
    int32_t packedSize;
    int32_t unpackedSize;
    std::string path;
};

TListedFile ParseListingLine(const std::string& line) {
    return {ListingField(line, kAbsOffsetColumn), ListingField(line, kPackedSizeColumn),
            ListingField(line, kUnpackedSizeColumn), CutLine(line, kPrefixLength, kSuffixLength)};
}

// The folders that hold a file, each level on its own, created before any file is written.
void CreateListedFolders(const TExtractionRequest& request, const std::string& target) {
    TStringList safeLines;
    for (const std::string& line : request.listing)
        if (IsSafeArchivePath(CutLine(line, kPrefixLength, kSuffixLength))) safeLines.push_back(line);
    TStringList folders;
    CollectDirPrefixes(safeLines, folders, kPrefixLength, kSuffixLength);
    CreateDirList(target, folders);
}

bool IsTheArchive(const std::string& output, const HostFile& archive) {
    const host::EntryInfo info = host::Stat(output);
    return info.kind != host::EntryKind::Missing && info.identity == archive.Identity();
}

// Decompresses one stream and turns it into the bytes to write. False for a failed file.
bool ObtainContent(const TExtractionRequest& request, const TListedFile& file, const std::string& output,
                   TArrayOfByte& content) {
    if (file.packedSize <= 0 || file.packedSize > request.archiveSize) return false;
    if (file.unpackedSize < 0) return false;
    if (request.archive.Position() != file.absOffset) request.archive.Seek(static_cast<uint32_t>(file.absOffset));
    TArrayOfByte packed(static_cast<size_t>(file.packedSize));
    request.archive.ReadExact(packed.data(), file.packedSize);
    content = DecompressBytes(packed.data(), file.packedSize, file.unpackedSize, file.unpackedSize);
    if (BufferLength(content) != file.unpackedSize) return false;
    if (file.unpackedSize == 0) return true;
    if (request.convertLoc && IsLocFileName(output)) return LocToText(request.bigEndian, content);
    return true;
}

// Writes one listed file; false when it failed and counts as an error.
bool ExtractOneFile(const TExtractionRequest& request, const std::string& target, const TListedFile& file) {
    if (!IsSafeArchivePath(file.path)) return false;
    std::string output = target + file.path;
    if (request.hashTags) output = AttachTag(output, file.path);
    if (IsTheArchive(output, request.archive)) return false;

    // Folders differing only in case were created once under their first spelling; on a
    // case-sensitive file system this file's own spelling may still be missing.
    std::string folders = file.path;
    SlashesToBackslashes(folders);
    CreateDirsForFile(target, folders);
    HostFile out(output, HostFile::Mode::Create);
    TArrayOfByte content;
    const bool ok = ObtainContent(request, file, output, content);
    if (ok && !content.empty()) out.Write(content.data(), BufferLength(content));
    out.Close();
    return ok;
}

}  // namespace

bool ExtractListedFiles(const TExtractionRequest& request) {
    if (!DirExistsSafe(request.targetDir)) return false;
    std::string target = request.targetDir;
    WithTrailingBackslash(target);

    Report(request.progress, 0, kCreatingFoldersText);
    CreateListedFolders(request, target);

    const int64_t total = static_cast<int64_t>(request.listing.size());
    int32_t errorCount = 0;
    for (int64_t i = 0; i < total; ++i) {
        const TListedFile file = ParseListingLine(request.listing[static_cast<size_t>(i)]);
        if (!ExtractOneFile(request, target, file)) ++errorCount;
        Report(request.progress, PackProgress(total, i + 1), file.path.c_str());
    }
    return errorCount == 0;
}
