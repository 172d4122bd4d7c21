#include "engine/extraction.h"

#include <algorithm>
#include <exception>

#include "engine/archive_format.h"
#include "engine/archive_reader.h"
#include "engine/hash_tag.h"
#include "engine/loc_convert.h"
#include "support/fast_inflate.h"
#include "support/host.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "support/ordered_work.h"
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

// One thread reads and decompresses the files ahead while the calling thread creates and
// writes them: the archive is read in listing order from one file position, and creating
// files is the slower half. The queue between them is bounded by count and bytes.
constexpr int kDecompressingThreads = 1;
constexpr TWorkLimits kExtractionLimits{64, 32 << 20};
// Memory a queued file holds besides its content: its path, its output name, the record.
constexpr int64_t kPerFileOverhead = 512;

// What the decompressing thread hands to the writing one for each listed file.
struct TPreparedFile {
    std::string path;          // the archive path, as reported
    std::string output;        // the output file; empty when nothing may be written for it
    bool ok = false;           // the content was obtained
    TArrayOfByte content;      // what to write
    std::exception_ptr error;  // raised while obtaining the content; raised again once the
                               // output file exists, as the file-by-file order has it
};

class TExtraction {
public:
    TExtraction(const TExtractionRequest& request, std::string target)
        : request_(request), target_(std::move(target)), archiveIdentity_(request.archive.Identity()) {}

    // Runs on the decompressing thread. False once an error has been raised: nothing after
    // that file is read.
    bool Prepare(size_t index, TPreparedFile& prepared) const {
        const TListedFile file = ParseListingLine(request_.listing[index]);
        prepared.path = file.path;
        if (!IsSafeArchivePath(file.path)) return true;
        std::string output = target_ + file.path;
        if (request_.hashTags) output = AttachTag(output, file.path);
        if (IsTheArchive(output)) return true;
        prepared.output = std::move(output);
        try {
            prepared.ok = ObtainContent(file, prepared.output, prepared.content);
        } catch (...) {
            prepared.error = std::current_exception();
            return false;
        }
        return true;
    }

    // The memory one queued file may hold; sizes from the archive are capped as the
    // decompressor caps them.
    int64_t Cost(size_t index) const {
        const std::string& line = request_.listing[index];
        const int64_t packed = std::clamp<int64_t>(ListingField(line, kPackedSizeColumn), 0, request_.archiveSize);
        const int64_t unpacked = std::clamp<int64_t>(ListingField(line, kUnpackedSizeColumn), 0, MaxInflatedSize(packed));
        return packed + unpacked + kPerFileOverhead;
    }

    // Runs on the calling thread. False when the file failed and counts as an error.
    bool Write(const TPreparedFile& prepared) {
        if (prepared.output.empty()) return false;
        CreateOwnFolders(prepared.path);
        HostFile out(prepared.output, HostFile::Mode::Create);
        if (prepared.error) std::rethrow_exception(prepared.error);
        if (prepared.ok && !prepared.content.empty()) out.Write(prepared.content.data(), BufferLength(prepared.content));
        out.Close();
        return prepared.ok;
    }

private:
    bool IsTheArchive(const std::string& output) const {
        const host::EntryInfo info = host::Stat(output);
        return info.kind != host::EntryKind::Missing && info.identity == archiveIdentity_;
    }

    // Decompresses one stream and turns it into the bytes to write. False for a failed file.
    bool ObtainContent(const TListedFile& file, const std::string& output, TArrayOfByte& content) const {
        if (file.packedSize <= 0 || file.packedSize > request_.archiveSize) return false;
        if (file.unpackedSize < 0) return false;
        HostFile& archive = request_.archive;
        if (archive.Position() != file.absOffset) archive.Seek(static_cast<uint32_t>(file.absOffset));
        TArrayOfByte packed(static_cast<size_t>(file.packedSize));
        archive.ReadExact(packed.data(), file.packedSize);
        const TInflateOutcome outcome = InflateExactSize(packed.data(), file.packedSize, file.unpackedSize, content);
        if (outcome != TInflateOutcome::Exact) return false;
        if (file.unpackedSize == 0) return true;
        if (request_.convertLoc && IsLocFileName(output)) return LocToText(request_.bigEndian, content);
        return true;
    }

    // Folders differing only in case were created once under their first spelling; on a
    // case-sensitive file system this file's own spelling may still be missing. Files of
    // one folder follow each other in the listing, so the folder of the previous file is
    // known to exist.
    void CreateOwnFolders(const std::string& path) {
        std::string folders = path;
        SlashesToBackslashes(folders);
        const size_t last = folders.rfind('\\');
        if (last == std::string::npos) return;
        folders.resize(last + 1);
        if (folders == lastFolders_) return;
        CreateDirsForFile(target_, folders);
        lastFolders_ = std::move(folders);
    }

    const TExtractionRequest& request_;
    const std::string target_;
    const host::FileIdentity archiveIdentity_;
    std::string lastFolders_;
};

}  // namespace

bool ExtractListedFiles(const TExtractionRequest& request) {
    if (!DirExistsSafe(request.targetDir)) return false;
    std::string target = request.targetDir;
    WithTrailingBackslash(target);

    Report(request.progress, 0, kCreatingFoldersText);
    CreateListedFolders(request, target);

    TExtraction extraction(request, target);
    const size_t total = request.listing.size();
    TOrderedWork<TPreparedFile> work(
        total, kDecompressingThreads, kExtractionLimits, [&](size_t i) { return extraction.Cost(i); },
        [&](size_t i, TPreparedFile& prepared) { return extraction.Prepare(i, prepared); });
    int32_t errorCount = 0;
    for (size_t i = 0; i < total; ++i) {
        const TPreparedFile prepared = work.Take(i);
        if (!extraction.Write(prepared)) ++errorCount;
        Report(request.progress, PackProgress(static_cast<int64_t>(total), static_cast<int64_t>(i) + 1),
               prepared.path.c_str());
    }
    return errorCount == 0;
}
