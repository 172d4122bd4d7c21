#include "engine/building/archive_builder.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/building/internal/archive_builder.h"
#include "engine/format/internal/archive_format.h"
#include "engine/format/internal/archive_header.h"
#include "engine/building/internal/directory_deflater.h"
#include "engine/building/internal/source_content.h"
#include "engine/building/internal/source_tree.h"
#include "engine/building/internal/staged_archive.h"
#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/number_text.h"
#include "support/ordered_work.h"
#include "support/paths.h"
#include "support/splice.h"
#include "support/zlib_adapter.h"

namespace {

// Content lengths and stream lengths are signed 32-bit fields of the directory.
constexpr int64_t kMaxStoredLength = 0x7FFFFFFF;

// Files compressed ahead of the writing thread: at most this many, holding this much.
constexpr TWorkLimits kBuildLimits{128, 32 << 20};

// Compressed streams an edit may hold in memory so that the header can be written first and
// every stream once, behind it. Past this the streams go out as they come and the header is
// put in front of them afterwards, which moves them once more.
constexpr int64_t kHeaderFirstBudget = int64_t{64} << 20;

// Kept streams that follow each other are copied in runs of at most this many bytes: few
// enough calls that copying costs what a plain copy of the file costs, and progress can be
// told between them.
constexpr int64_t kLongestCopyRun = int64_t{32} << 20;

// A run of kept streams that lie one after the other in the old archive, copied as one.
struct TCopyRun {
    int64_t from = 0;
    int64_t length = 0;
};

// A stream whose record is in the directory image and whose bytes are still to be written,
// when the header goes first.
struct TDeferredStream {
    std::optional<TKeptStream> kept;
    TArrayOfByte stream;
};

// The part of the image handed over at once: large enough that handing over costs nothing
// beside compressing it.
constexpr size_t kDirectoryPiece = 64 * 1024;

// Everything one build works on. The folder scan appends to the directory image and
// writes streams at the archive's end (or, header first, keeps them for after the header);
// the counters are the caller's output arguments. The scan keeps the path of the folder it
// is in, relative to the source directory in the archive's form ("A\\B\\"), which is also
// what progress reports show.
struct TBuildState {
    const TTreeBuild& build;
    const ProgressProc& progress;
    HostFile& archive;
    int32_t& folderCount;
    int32_t& fileCount;
    TNotices* notices;
    bool headerFirst = false;
    int64_t totalSteps = 0;
    int64_t processedSteps = 0;
    int32_t failureCount = 0;
    int64_t dataOffset = 0;  // relative to the data area
    TArrayOfByte directory{};
    // The files compressed afresh, in scan order; kept streams never pass through it.
    TOrderedWork<TPackedFile>* packing = nullptr;
    std::vector<int64_t> aheadNumbers{};  // per file of the build: its number among the files
                                          // compressed ahead, -1 when it is not one
    size_t nextFile = 0;        // the next file of the build to store
    size_t nextCompressed = 0;  // the next of the compressed ones
    TCopyRun copyRun{};
    std::vector<TDeferredStream> deferred{};
    TDirectoryDeflater* deflater = nullptr;  // none: the directory is compressed at the end
    // Where the file count of the folder whose files are being stored lies: it is patched
    // when a file cannot be stored, so the image from there on is not final yet.
    std::optional<size_t> pendingCount{};
    std::string folderPath{};  // of the folder being scanned
};

// Hands the final part of the image to the deflater once at least least bytes of it are new.
void GiveDirectory(TBuildState& state, size_t least) {
    if (state.deflater == nullptr) return;
    const size_t final = state.pendingCount ? *state.pendingCount : state.directory.size();
    if (final <= state.deflater->Given() || final - state.deflater->Given() < least) return;
    state.deflater->Give(state.directory, final);
}

[[noreturn]] void FailLimit(int code, const std::string& path, const std::string& problem) {
    throw EInOutError(code, "Cannot pack \"" + path + "\": " + problem);
}

void AppendDirInt(TBuildState& state, int32_t value) {
    AppendInt32(FromArchiveOrder(state.build.bigEndian, value), state.directory);
}

void AppendDirString(TBuildState& state, const std::string& name) {
    AppendDirInt(state, static_cast<int32_t>(name.size()));
    AppendTextToBytes(name, state.directory);
}

// Overwrites an integer that AppendDirInt wrote earlier at offset.
void PatchDirInt(TBuildState& state, size_t offset, int32_t value) {
    WriteInt32At(state.directory, offset, FromArchiveOrder(state.build.bigEndian, value));
}

void ReportStep(TBuildState& state, const std::string& relativePath) {
    ++state.processedSteps;
    Report(state.progress, {state.processedSteps, state.totalSteps, relativePath.c_str()});
}

// A failure of the build that does not end it: counted, and told to the caller.
void CountFailure(TBuildState& state, const std::string& hostPath, const std::string& what,
                  const std::string& reason) {
    ++state.failureCount;
    Notify(state.notices, hostPath, NoticeText(what, hostPath, reason));
}

void CheckNameLength(const TBuildState& state, const std::string& name) {
    if (static_cast<int64_t>(name.size()) > kMaxNameLength)
        FailLimit(ENAMETOOLONG, HostPathBelow(state.build.sourceDir, state.folderPath + name),
                  "the name is longer than " + GroupThousands(kMaxNameLength) + " bytes");
}

// Reports the step of the entry name of the folder being scanned.
void ReportEntryStep(TBuildState& state, const std::string& name) {
    const size_t folderLength = state.folderPath.size();
    state.folderPath += name;
    ReportStep(state, state.folderPath);
    state.folderPath.resize(folderLength);
}

// Obtains and compresses one file; runs on a compressing thread. An error it raises
// reaches the caller when the scan comes to this file.
void CompressFile(bool bigEndian, bool convertLoc, const TSourceFile& job, TPackedFile& packed) {
    const host::DirEntry& entry = *job.entry;
    if (entry.info.kind != host::EntryKind::File) {
        packed.problem = entry.info.kind == host::EntryKind::Missing ? host::ErrorText(ENOENT)
                                                                      : UnreadableEntryText(entry.info);
        return;
    }
    if (entry.info.size > kMaxStoredLength) FailLimit(EFBIG, HostPathOf(job), "files of 2 GiB or more cannot be stored");

    TArrayOfByte content;
    packed.problem = ObtainStoredContent(bigEndian, convertLoc, HostPathOf(job), content);
    if (!packed.problem.empty()) return;
    if (static_cast<int64_t>(content.size()) > kMaxStoredLength)
        FailLimit(EFBIG, HostPathOf(job), "files of 2 GiB or more cannot be stored");

    packed.stream = CompressBytes(content.data(), BufferLength(content));
    packed.unpackedSize = BufferLength(content);
    packed.obtained = true;
}

void FlushCopyRun(TBuildState& state) {
    if (state.copyRun.length == 0) return;
    const int64_t at = state.archive.Position();
    state.archive.CopyFrom(*state.build.keptFrom, state.copyRun.from, state.copyRun.length);
    // The new file is flushed whole before it takes the archive's place; writing each run
    // out as soon as it is copied lets the disk work while the next one is, so that flush
    // finds little left to wait for. Streams that the header will still push back are
    // left alone: they would go to the disk twice.
    if (state.headerFirst) state.archive.StartWriteback(at, state.copyRun.length);
    state.copyRun = {};
}

// Writes a kept stream, or gathers it into the run of those before it that it follows.
void CopyKeptStream(TBuildState& state, const TKeptStream& kept) {
    TCopyRun& run = state.copyRun;
    if (run.length > 0 && run.from + run.length == kept.start && run.length + kept.packedSize <= kLongestCopyRun) {
        run.length += kept.packedSize;
        return;
    }
    FlushCopyRun(state);
    run = {kept.start, kept.packedSize};
}

void WriteStream(TBuildState& state, const std::optional<TKeptStream>& kept, const TArrayOfByte& stream) {
    if (kept) {
        CopyKeptStream(state, *kept);
        return;
    }
    FlushCopyRun(state);
    state.archive.Write(stream.data(), static_cast<int64_t>(stream.size()));
}

// Stores one file: its record in the directory image, its stream at the archive's end or,
// header first, kept for after the header. False when its content could not be obtained;
// then nothing is stored.
bool StoreFile(TBuildState& state, const host::DirEntry& entry) {
    const TSourceFile& job = state.build.files[state.nextFile++];
    TPackedFile packed;
    if (job.kept) {
        packed = {true, "", {}, job.kept->unpackedSize};
    } else {
        // The file may still be compressing: what is final of the directory is compressed
        // meanwhile.
        GiveDirectory(state, kDirectoryPiece / 16);
        const int64_t ahead = state.aheadNumbers[state.nextFile - 1];
        packed = ahead >= 0 ? state.build.ahead->Take(ahead) : state.packing->Take(state.nextCompressed++);
    }
    if (!packed.obtained) {
        CountFailure(state, HostPathOf(job), "cannot read", packed.problem);
        return false;
    }
    const int64_t packedSize = job.kept ? job.kept->packedSize : static_cast<int64_t>(packed.stream.size());
    if (state.dataOffset + packedSize > kMaxArchiveSize)
        FailLimit(EFBIG, job.kept ? ArchivePathOf(job) : HostPathOf(job), "the archive would reach 2 GiB");

    AppendDirString(state, entry.name);
    AppendDirInt(state, static_cast<int32_t>(state.dataOffset));
    AppendDirInt(state, static_cast<int32_t>(packedSize));
    AppendDirInt(state, packed.unpackedSize);
    if (state.headerFirst) state.deferred.push_back({job.kept, std::move(packed.stream)});
    else WriteStream(state, job.kept, packed.stream);
    state.dataOffset += packedSize;
    return true;
}

// The progress steps of a listed tree: one per folder and per file met, the archive
// itself left out.
int64_t CountSteps(const TListedTree& tree) {
    int64_t steps = 0;
    for (const TSourceFolder& node : tree.folders)
        steps += static_cast<int64_t>(node.folders.size() + node.files.size() + node.unstorable.size());
    return steps;
}

// The entries that cannot be stored under their names: each is a failure, told by name.
void RefuseUnstorable(TBuildState& state, const TSourceFolder& node) {
    for (const host::DirEntry& entry : node.unstorable) {
        if (entry.info.kind == host::EntryKind::Directory) ++state.folderCount;
        else ++state.fileCount;
        CountFailure(state, HostPathOfEntry(state.build.sourceDir, state.folderPath, entry.name), "cannot store",
                     "the name holds a backslash, which the archive takes for a folder separator");
        ReportEntryStep(state, entry.name);
    }
}

// The scan of the tree, folder by folder in the order the directory records them: a
// folder's record holds its sub-folders' records, each followed by its step, then its files.
struct TFolderScan {
    TBuildState& state;
    const TListedTree& tree;

    void Enter(size_t folder) {
        const TSourceFolder& node = tree.folders[folder];
        state.folderCount += static_cast<int32_t>(node.folders.size());
        state.fileCount += static_cast<int32_t>(node.files.size());
        // What could be read of a folder is stored; that the rest could not is a failure.
        if (!node.unreadable.empty())
            CountFailure(state, HostPathOfEntry(state.build.sourceDir, state.folderPath, ""),
                         "cannot read the folder", node.unreadable);
        AppendDirInt(state, static_cast<int32_t>(node.folders.size()));
    }

    bool Descend(size_t folder, size_t k) {
        const std::string& name = tree.folders[folder].folders[k].name;
        CheckNameLength(state, name);
        AppendDirString(state, name);
        if (tree.folders[tree.Child(folder, k)].linksBack) {
            // A link back up the path: recorded as an empty folder; its content is already
            // stored under the folder it leads to.
            AppendDirInt(state, 0);
            AppendDirInt(state, 0);
            return false;
        }
        state.folderPath += name;
        state.folderPath += '\\';
        return true;
    }

    void Ascended(size_t folder, size_t k) {
        const std::string& name = tree.folders[folder].folders[k].name;
        if (!tree.folders[tree.Child(folder, k)].linksBack) state.folderPath.resize(state.folderPath.size() - name.size() - 1);
        ReportEntryStep(state, name);
    }

    void Leave(size_t folder) {
        const TSourceFolder& node = tree.folders[folder];
        // The count is patched afterwards: a file whose content was not obtained gets no
        // record, and every counted record must be there for the directory to read back.
        const size_t fileCountOffset = state.directory.size();
        AppendDirInt(state, static_cast<int32_t>(node.files.size()));
        state.pendingCount = fileCountOffset;
        int32_t written = 0;
        for (const host::DirEntry& entry : node.files) {
            CheckNameLength(state, entry.name);
            if (StoreFile(state, entry)) ++written;
            ReportEntryStep(state, entry.name);
        }
        if (written != static_cast<int32_t>(node.files.size())) PatchDirInt(state, fileCountOffset, written);
        state.pendingCount.reset();
        GiveDirectory(state, kDirectoryPiece);
        RefuseUnstorable(state, node);
    }
};

// Compresses the directory image into the header, refusing what a reader would refuse.
Veldane_PAK_HeaderType MakeHeader(TBuildState& state, const std::string& archivePath) {
    if (static_cast<int64_t>(state.directory.size()) > kMaxStoredLength)
        FailLimit(EFBIG, archivePath, "the directory would reach 2 GiB");
    Veldane_PAK_HeaderType header;
    if (state.deflater != nullptr) {
        header.UnpackedDirSize = BufferLength(state.directory);
        header.PackedDir = state.deflater->Finish(state.directory);
    } else {
        header = HeaderOfDirectory(state.directory);
    }
    const int64_t headerSize = HeaderLength(header);
    if (headerSize > kMaxHeaderSize)
        FailLimit(EFBIG, archivePath,
                  "the compressed directory would need " + std::to_string(headerSize) +
                      " header bytes, more than the " + GroupThousands(kMaxHeaderSize) + " a reader accepts");
    if (headerSize + state.dataOffset > kMaxArchiveSize) FailLimit(EFBIG, archivePath, "the archive would reach 2 GiB");
    header.HeaderSize = static_cast<int32_t>(headerSize);
    return header;
}

// Puts the header and the compressed directory in front of the data area.
void InsertHeader(bool bigEndian, HostFile& archive, const Veldane_PAK_HeaderType& header) {
    const TArrayOfByte head = HeaderBytes(bigEndian, header);
    InsertBytes(archive, 0, BufferLength(head));
    archive.Seek(0);
    archive.Write(head.data(), BufferLength(head));
}

// The header at the start of an empty file, then every stream behind it in turn.
void WriteHeaderAndStreams(TBuildState& state, const Veldane_PAK_HeaderType& header) {
    const TArrayOfByte head = HeaderBytes(state.build.bigEndian, header);
    state.archive.Seek(0);
    state.archive.Write(head.data(), BufferLength(head));
    const auto total = static_cast<int64_t>(state.deferred.size());
    for (int64_t k = 0; k < total; ++k) {
        TDeferredStream& stream = state.deferred[static_cast<size_t>(k)];
        WriteStream(state, stream.kept, stream.stream);
        stream.stream = {};
        Report(state.progress, {k + 1, total, "writing..."});
    }
    FlushCopyRun(state);
}

// Whether the streams a build compresses fit in memory together, so that the header can go
// first. Only a build that keeps streams gains by it: a build from a folder alone
// compresses everything, and writing that once more costs little beside compressing it.
bool WritesHeaderFirst(const std::vector<TSourceFile>& files) {
    bool keepsAny = false;
    int64_t cost = 0;
    for (const TSourceFile& file : files) {
        if (file.kept) keepsAny = true;
        else cost += CompressionCost(file.entry->info.size);
    }
    return keepsAny && cost <= kHeaderFirstBudget;
}

}  // namespace

struct TStreamsAhead::TWork {
    // A file's stream, or what compressing it raised: raised when the file is taken, so
    // that it reaches the build where a file compressed in the build's order would.
    struct TResult {
        TPackedFile packed;
        std::exception_ptr raised;
    };

    std::vector<host::DirEntry> entries;
    std::vector<TFileOrigin> origins;
    std::vector<TSourceFile> jobs;
    std::unordered_map<std::string, std::vector<size_t>> jobsOfPath;  // every file of the tree asks
    std::vector<bool> claimed;
    std::unique_ptr<TOrderedWork<TResult>> packing;
    size_t taken = 0;                          // files taken from packing, in order
    std::vector<std::optional<TResult>> held;  // taken before they were wanted
};

TStreamsAhead::TStreamsAhead(bool bigEndian, bool convertLoc, const std::vector<TFile>& files,
                             int compressingThreads)
    : work_(std::make_unique<TWork>()) {
    int64_t cost = 0;
    for (const TFile& file : files) cost += CompressionCost(file.info.size);
    if (cost > kHeaderFirstBudget || compressingThreads <= 0) return;
    TWork& work = *work_;
    work.entries.reserve(files.size());
    work.origins.reserve(files.size());
    for (const TFile& file : files) {
        work.entries.push_back({HostBaseName(file.hostPath), file.info});
        work.origins.push_back(TFileOrigin::OfPath(file.hostPath));
    }
    for (size_t k = 0; k < files.size(); ++k)
        work.jobs.push_back({&work.entries[k], std::nullopt, nullptr, 0, &work.origins[k]});
    for (size_t k = 0; k < files.size(); ++k) work.jobsOfPath[files[k].hostPath].push_back(k);
    work.claimed.assign(files.size(), false);
    work.held.resize(files.size());
    work.packing = std::make_unique<TOrderedWork<TWork::TResult>>(
        work.jobs.size(), compressingThreads, kBuildLimits,
        [&work](size_t i) { return CompressionCost(work.entries[i].info.size); },
        [&work, bigEndian, convertLoc](size_t i, TWork::TResult& result) {
            try {
                CompressFile(bigEndian, convertLoc, work.jobs[i], result.packed);
            } catch (...) {
                result.raised = std::current_exception();
            }
            return true;
        });
}

TStreamsAhead::~TStreamsAhead() = default;

int64_t TStreamsAhead::Claim(const std::string& hostPath) {
    const auto found = work_->jobsOfPath.find(hostPath);
    if (found == work_->jobsOfPath.end()) return -1;
    for (size_t k : found->second) {
        if (work_->claimed[k]) continue;
        work_->claimed[k] = true;
        return static_cast<int64_t>(k);
    }
    return -1;
}

TPackedFile TStreamsAhead::Take(int64_t number) {
    TWork& work = *work_;
    const auto wanted = static_cast<size_t>(number);
    // The files are compressed in the order given and wanted in the tree's: the ones before
    // the wanted one are held until they are wanted.
    while (work.taken <= wanted) {
        work.held[work.taken] = work.packing->Take(work.taken);
        ++work.taken;
    }
    TWork::TResult result = std::move(*work.held[wanted]);
    work.held[wanted].reset();
    if (result.raised) std::rethrow_exception(result.raised);
    return std::move(result.packed);
}

bool WriteArchiveTree(const TTreeBuild& build, HostFile& archive, const std::string& archivePath,
                      const ProgressProc& progress, TNotices* notices, int32_t& folderCount, int32_t& fileCount) {
    folderCount = 0;
    fileCount = 0;
    TBuildState state{build, progress, archive, folderCount, fileCount, notices};
    state.dataOffset = archive.Position();
    state.headerFirst = WritesHeaderFirst(build.files);
    state.totalSteps = CountSteps(*build.tree);
    // The source tree is listed whole before the scan, so that the files it compresses, in
    // the order the scan stores them, can be compressed ahead on every core.
    std::vector<const TSourceFile*> jobs;
    state.aheadNumbers.assign(build.files.size(), -1);
    for (size_t k = 0; k < build.files.size(); ++k) {
        const TSourceFile& file = build.files[k];
        if (file.kept) continue;
        // Only a file given by its path can have been compressed ahead.
        if (build.ahead != nullptr && file.origin != nullptr && file.origin->tree == nullptr)
            state.aheadNumbers[k] = build.ahead->Claim(file.origin->hostPath);
        if (state.aheadNumbers[k] < 0) jobs.push_back(&file);
    }
    TOrderedWork<TPackedFile> packing(
        jobs.size(), build.compressingThreads, kBuildLimits,
        [&](size_t i) { return CompressionCost(jobs[i]->entry->info.size); },
        [&](size_t i, TPackedFile& packed) {
            CompressFile(build.bigEndian, build.convertLoc, *jobs[i], packed);
            return true;
        });
    state.packing = &packing;
    // A build told to compress on the calling thread alone compresses its directory there too.
    std::optional<TDirectoryDeflater> deflater;
    if (build.deflater != nullptr) state.deflater = build.deflater;
    else if (build.compressingThreads > 0) state.deflater = &deflater.emplace();
    TFolderScan scan{state, *build.tree};
    WalkDepthFirst(*build.tree, scan);
    const Veldane_PAK_HeaderType header = MakeHeader(state, archivePath);
    Report(progress, "finalizing...");
    if (state.headerFirst) {
        WriteHeaderAndStreams(state, header);
    } else {
        FlushCopyRun(state);
        InsertHeader(build.bigEndian, archive, header);
    }
    return state.failureCount == 0;
}

namespace {

bool Make(bool bigEndian, const std::string& sourceDir, const std::string& archivePath, const ProgressProc& progress,
          bool convertLoc, int32_t& folderCount, int32_t& fileCount, int compressingThreads, TNotices* notices) {
    const TProgressScope scope(progress);
    if (archivePath.empty()) {
        Notify(notices, archivePath, NoticeText("cannot create the archive", archivePath, "no archive was named"));
        return false;
    }
    // An empty source is the current directory, as a path given without folder is.
    const std::string root = sourceDir.empty() ? "." : sourceDir;
    // A source that cannot be listed at all fails before anything is written.
    const std::string problem = SourceFolderProblem(root);
    if (!problem.empty()) {
        Notify(notices, root, NoticeText("cannot read the folder", root, problem));
        return false;
    }

    Report(progress, "preparing...");
    // The new archive is written beside the target and takes its place only when complete.
    // The target's lock comes with it, before any work, so that a build told not to wait
    // fails at once. It is created before the tree is listed, so a listing of a tree that
    // holds it meets it.
    TStagedArchive staged(archivePath, notices);
    folderCount = 0;
    fileCount = 0;

    Report(progress, "scanning the directory...");
    TListedTree listed = ListSourceTree(root, true);
    // Neither the archive being written nor the one it replaces is any part of its content.
    LeaveOutFiles(listed, {staged.Identity(), staged.ReplacedIdentity()});
    const TTreeBuild build{bigEndian, convertLoc, root, &listed, SourceFilesOf(listed), nullptr,
                           compressingThreads};
    const bool complete =
        WriteArchiveTree(build, staged.File(), archivePath, progress, notices, folderCount, fileCount);
    staged.Commit();
    return complete;
}

}  // namespace

TMakeResult MakeArchive(const TMakeRequest& request) { return MakeArchiveWithThreads(request, CoreCount()); }

TMakeResult MakeArchiveWithThreads(const TMakeRequest& request, int compressingThreads) {
    TMakeResult result;
    result.ok = Make(request.bigEndian, request.sourceDir, request.archivePath, request.progress, request.convertLoc,
                     result.folderCount, result.fileCount, compressingThreads, request.notices);
    return result;
}
