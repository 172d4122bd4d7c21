#include "engine/extraction/internal/extraction.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

#include "engine/format/internal/archive_format.h"
#include "engine/extraction/internal/entry_places.h"
#include "engine/format/internal/hash_tag.h"
#include "engine/format/internal/loc_convert.h"
#include "support/display_text.h"
#include "support/errors.h"
#include "support/existence.h"
#include "support/fast_inflate.h"
#include "support/folder_cursor.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/ordered_work.h"
#include "support/paths.h"
#include "support/zlib_adapter.h"

namespace {

constexpr const char* kCreatingFoldersText = "creating sub-directory structure...";

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
    bool placed = false;       // the path names a place below the target
    int32_t folder = 0;        // where the file goes: its folder in the index,
    std::vector<std::string> nameFolders;  // the folders its own name adds to it,
    std::string name;          // and its name there
    bool ok = false;           // the content was obtained
    std::string problem;       // why not, for the user
    TArrayOfByte content;      // what to write
    std::exception_ptr error;  // raised while obtaining the content; raised again once the
                               // output file exists, as the file-by-file order has it
};

std::string ProblemText(const std::string& path, const std::string& reason) {
    return NoticeText("cannot extract", ArchivePathForUser(path), reason);
}

// The zlib routines say only "Error"; the user learns which entry's stream it was.
std::exception_ptr NamedError(const std::string& path, const std::string& archivePath) {
    try {
        throw;
    } catch (const EDecompressionError&) {
        return std::make_exception_ptr(EDecompressionError("Damaged stream of entry \"" + ArchivePathForUser(path) +
                                                           "\" in \"" + archivePath + "\""));
    } catch (...) {
        return std::current_exception();
    }
}

// Creates a missing target when the request asks for that; one that exists is taken as it
// is, wherever it lies. False, told in notices, when it is not a folder afterwards.
bool PrepareTarget(const TExtractionRequest& request) {
    const std::string& target = request.targetDir;
    if (request.targetFolder == TTargetFolder::CreateWithParents && !DirExistsSafe(target)) {
        const std::string problem = CreateFullDirPathOrSayWhy(target);
        if (!problem.empty()) {
            Notify(request.notices, target, problem);
            return false;
        }
    }
    const host::EntryInfo info = host::Stat(target);
    if (info.kind == host::EntryKind::Directory) return true;
    const std::string reason = info.kind == host::EntryKind::Missing ? host::ErrorText(info.errorCode) : "it is not a folder";
    Notify(request.notices, target, NoticeText("cannot extract into", target, reason));
    return false;
}

class TExtraction {
public:
    TExtraction(const TExtractionRequest& request, host::FolderCursor& cursor)
        : request_(request),
          cursor_(cursor),
          places_(request.index),
          writing_(request.index, places_, cursor),
          archiveIdentity_(request.archive.Identity()),
          inflateBudget_(MaxInflatedSize(request.archiveSize)) {}

    // Creates the folder of every file that may be written, before any file is, in directory
    // order: the folders of one folder's files follow each other, so each is entered once.
    void CreateFolders() {
        std::string problem;
        TCursorMover creating(request_.index, places_, cursor_);
        std::vector<std::string> nameFolders;
        std::string name;
        for (size_t i = 0; i < Count(); ++i) {
            const TArchiveEntry& entry = Entry(i);
            if (places_.PlaceFile(entry, nameFolders, name))
                creating.Enter(entry.folder, nameFolders, problem);  // a link in the way fails its files later
            KeepAlive();
        }
    }

    // The files to extract, and the record of each of them.
    size_t Count() const { return request_.selection ? request_.selection->size() : request_.index.entries.size(); }
    const TArchiveEntry& Entry(size_t i) const {
        return request_.index.entries[request_.selection ? (*request_.selection)[i] : i];
    }

    // Runs on the decompressing thread, one file after the other. False once an error has
    // been raised: nothing after that file is read.
    bool Prepare(size_t index, TPreparedFile& prepared) {
        const TArchiveEntry& file = Entry(index);
        prepared.path = preparedPaths_.Of(file);
        prepared.folder = file.folder;
        prepared.placed = places_.PlaceFile(file, prepared.nameFolders, prepared.name);
        if (!prepared.placed) {
            prepared.problem = "the name does not lead to a place inside the target folder";
            return true;
        }
        // The tag is that of the whole archive path; it goes into the file's own name.
        if (request_.hashTags) prepared.name = AttachTag(prepared.name, prepared.path);
        try {
            prepared.ok = ObtainContent(file, prepared.name, prepared);
        } catch (...) {
            prepared.error = NamedError(prepared.path, request_.archive.Path());
            return false;
        }
        return true;
    }

    // The memory one queued file may hold; sizes from the archive are capped as the
    // decompressor caps them.
    int64_t Cost(size_t index) const {
        const TArchiveEntry& entry = Entry(index);
        const int64_t packed = std::clamp<int64_t>(entry.packedSize, 0, request_.archiveSize);
        const int64_t unpacked = std::clamp<int64_t>(entry.unpackedSize, 0, MaxInflatedSize(packed));
        return packed + unpacked + kPerFileOverhead;
    }

    // Runs on the calling thread. False when the file failed and counts as an error.
    bool Write(const TPreparedFile& prepared) {
        if (!prepared.placed) return Fail(prepared.path, prepared.problem);
        std::string problem;
        if (!writing_.Enter(prepared.folder, prepared.nameFolders, problem)) {
            if (prepared.error) std::rethrow_exception(prepared.error);
            return Fail(prepared.path, problem);
        }
        int64_t oldSize = 0;
        const std::unique_ptr<HostFile> out =
            cursor_.Rewrite(prepared.name, archiveIdentity_, problem, oldSize);
        if (out != nullptr) {
            // A file written over ends where its new content ends, empty when there is none.
            if (!prepared.error && prepared.ok && !prepared.content.empty())
                out->Write(prepared.content.data(), BufferLength(prepared.content));
            if (oldSize > out->Position()) out->Truncate();
        }
        if (prepared.error) std::rethrow_exception(prepared.error);
        if (out == nullptr) return Fail(prepared.path, problem);
        out->Close();
        if (!prepared.ok) return Fail(prepared.path, prepared.problem);
        return true;
    }

private:
    bool Fail(const std::string& path, const std::string& reason) {
        Notify(request_.notices, path, ProblemText(path, reason));
        return false;
    }

    // Decompresses one stream and turns it into the bytes to write. False for a failed file.
    bool ObtainContent(const TArchiveEntry& file, const std::string& outputName, TPreparedFile& prepared) {
        if (file.packedSize <= 0 || file.packedSize > request_.archiveSize || file.unpackedSize < 0) {
            prepared.problem = "its record holds an impossible size";
            return false;
        }
        // Records may share one stream, so the sizes they promise can add up to far more than
        // the archive holds; the whole extraction writes no more than its streams can produce.
        if (file.unpackedSize > inflateBudget_) {
            const std::string bound = std::to_string(MaxInflatedSize(request_.archiveSize));
            prepared.problem = "it would take the extraction past " + bound +
                               " bytes, all that the streams of an archive this size can inflate to";
            return false;
        }
        inflateBudget_ -= file.unpackedSize;

        HostFile& archive = request_.archive;
        // The stream's place as the listing gives it: header size plus data offset, wrapped to
        // 32 bits, so that a negative data offset is read where every reader of the format
        // reads it.
        const int64_t absOffset = static_cast<uint32_t>(request_.index.headerSize) + static_cast<uint32_t>(file.dataOffset);
        if (archive.Position() != absOffset) archive.Seek(absOffset);
        TArrayOfByte packed(static_cast<size_t>(file.packedSize));
        archive.ReadExact(packed.data(), file.packedSize);
        TArrayOfByte& content = prepared.content;
        if (InflateExactSize(packed.data(), file.packedSize, file.unpackedSize, content) != TInflateOutcome::Exact) {
            prepared.problem = "its stream does not inflate to the size its record gives";
            return false;
        }
        if (file.unpackedSize == 0) return true;
        if (request_.convertLoc && IsLocFileName(outputName) && !LocToText(request_.bigEndian, content)) {
            prepared.problem =
                "its string table does not convert to text (damaged, or the text would be far larger than the table)";
            return false;
        }
        return true;
    }

    const TExtractionRequest& request_;
    host::FolderCursor& cursor_;
    const TEntryPlaces places_;
    TCursorMover writing_;                       // the calling thread's
    TEntryPaths preparedPaths_{request_.index};  // the decompressing thread's
    const host::FileIdentity archiveIdentity_;
    int64_t inflateBudget_;  // touched by the decompressing thread only
};

}  // namespace

TExtractionTally ExtractListedFiles(const TExtractionRequest& request) {
    TExtractionTally tally;
    if (!PrepareTarget(request)) return tally;
    tally.targetReady = true;
    host::FolderCursor cursor(request.targetDir);

    Report(request.progress, kCreatingFoldersText);
    TExtraction extraction(request, cursor);
    extraction.CreateFolders();

    const size_t total = extraction.Count();
    TOrderedWork<TPreparedFile> work(
        total, kDecompressingThreads, kExtractionLimits, [&](size_t i) { return extraction.Cost(i); },
        [&](size_t i, TPreparedFile& prepared) { return extraction.Prepare(i, prepared); });
    for (size_t i = 0; i < total; ++i) {
        const TPreparedFile prepared = work.Take(i);
        if (extraction.Write(prepared)) ++tally.written;
        else ++tally.failed;
        Report(request.progress,
               {static_cast<int64_t>(i) + 1, static_cast<int64_t>(total), prepared.path.c_str()});
    }
    return tally;
}

bool IsExtractablePath(const std::string& archivePath) {
    std::vector<std::string> parts;
    return SplitNameIntoParts(archivePath, parts) && MayBeginPath(parts.front());
}
