#include "engine/archive_builder.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "engine/archive_format.h"
#include "engine/loc_convert.h"
#include "support/collation.h"
#include "support/errors.h"
#include "support/host.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "support/splice.h"
#include "support/zlib_adapter.h"

namespace {

// Content lengths and stream lengths are signed 32-bit fields of the directory.
constexpr int64_t kMaxStoredLength = 0x7FFFFFFF;

// Everything one build works on. The folder scan appends to the directory image and
// writes streams at the archive's end; the counters are the caller's output arguments.
struct TBuildState {
    bool bigEndian;
    bool convertLoc;
    const ProgressProc& progress;
    size_t rootLength;
    HostFile& archive;
    host::FileIdentity archiveIdentity;
    bool archiveCountedInTree;  // the archive existed before, so the tree count may include it
    int32_t& folderCount;
    int32_t& fileCount;
    int64_t totalSteps = 0;
    int64_t processedSteps = 0;
    int32_t failureCount = 0;
    int64_t dataOffset = 0;  // relative to the data area
    TArrayOfByte directory{};
    // The folders from the root down to the one being scanned, by identity: a link back to
    // one of them is not entered again.
    std::vector<host::FileIdentity> ancestors{};
};

[[noreturn]] void FailLimit(int code, const std::string& path, const std::string& problem) {
    throw EInOutError(code, "Cannot pack \"" + path + "\": " + problem);
}

void AppendDirInt(TBuildState& state, int32_t value) {
    AppendInt32(FromArchiveOrder(state.bigEndian, value), state.directory);
}

void AppendDirString(TBuildState& state, const std::string& name) {
    AppendDirInt(state, static_cast<int32_t>(name.size()));
    AppendTextToBytes(name, state.directory);
}

// Overwrites an integer that AppendDirInt wrote earlier at offset.
void PatchDirInt(TBuildState& state, size_t offset, int32_t value) {
    WriteInt32At(state.directory, offset, FromArchiveOrder(state.bigEndian, value));
}

void ReportStep(TBuildState& state, const std::string& fullPath) {
    ++state.processedSteps;
    if (!state.progress) return;
    const std::string relative = fullPath.substr(std::min(state.rootLength, fullPath.size()));
    state.progress(PackProgress(state.totalSteps, state.processedSteps), relative.c_str());
}

void CheckNameLength(const std::string& fullPath, const std::string& name) {
    if (static_cast<int64_t>(name.size()) > kMaxNameLength)
        FailLimit(ENAMETOOLONG, fullPath, "the name is longer than " + GroupThousands(kMaxNameLength) + " bytes");
}

bool IsOnCurrentPath(const TBuildState& state, const host::FileIdentity& identity) {
    return std::find(state.ancestors.begin(), state.ancestors.end(), identity) != state.ancestors.end();
}

bool IsTheArchive(const TBuildState& state, const host::DirEntry& entry) {
    return entry.info.kind == host::EntryKind::File && entry.info.identity == state.archiveIdentity;
}

bool NameLess(const host::DirEntry& a, const host::DirEntry& b) { return CollationLess(a.name, b.name); }

// Reads a file's content as it is to be stored: a .loc text converted to its table, any
// other file as its bytes. False when the content could not be obtained.
bool ObtainContent(const TBuildState& state, const std::string& path, const std::string& name,
                   TArrayOfByte& content) {
    if (state.convertLoc && IsLocFileName(name)) {
        // The entry may have been replaced since it was listed; a FIFO or socket in its
        // place has no content, and opening one could block.
        if (host::Stat(path).kind != host::EntryKind::File) return false;
        return TextToLoc(state.bigEndian, path, content);
    }
    return ReadWholeFile(path, content);
}

// Stores one file: its stream at the archive's end, its record in the directory image.
// False when its content could not be obtained; then nothing is stored.
bool PackFile(TBuildState& state, const std::string& path, const host::DirEntry& entry) {
    if (entry.info.kind != host::EntryKind::File) return false;
    if (entry.info.size > kMaxStoredLength) FailLimit(EFBIG, path, "files of 2 GiB or more cannot be stored");

    TArrayOfByte content;
    if (!ObtainContent(state, path, entry.name, content)) return false;
    if (static_cast<int64_t>(content.size()) > kMaxStoredLength)
        FailLimit(EFBIG, path, "files of 2 GiB or more cannot be stored");

    const TArrayOfByte packed = CompressBytes(content.data(), BufferLength(content));
    if (state.dataOffset + static_cast<int64_t>(packed.size()) > kMaxArchiveSize)
        FailLimit(EFBIG, path, "the archive would reach 2 GiB");

    AppendDirString(state, entry.name);
    AppendDirInt(state, static_cast<int32_t>(state.dataOffset));
    AppendDirInt(state, BufferLength(packed));
    AppendDirInt(state, BufferLength(content));
    state.archive.Write(packed.data(), static_cast<int64_t>(packed.size()));
    state.dataOffset += static_cast<int64_t>(packed.size());
    return true;
}

void ScanFolder(TBuildState& state, const std::string& folder);

void PackSubFolder(TBuildState& state, const std::string& folder, const host::DirEntry& entry) {
    const std::string path = folder + entry.name;
    CheckNameLength(path, entry.name);
    AppendDirString(state, entry.name);
    if (IsOnCurrentPath(state, entry.info.identity)) {
        // A link back up the path: recorded as an empty folder; its content is already
        // stored under the folder it leads to.
        AppendDirInt(state, 0);
        AppendDirInt(state, 0);
    } else {
        state.ancestors.push_back(entry.info.identity);
        ScanFolder(state, path + "\\");
        state.ancestors.pop_back();
    }
    ReportStep(state, path);
}

// Sorts the entries of one folder into its sub-folders and files, both in collation order.
void ListFolder(TBuildState& state, const std::string& folder, std::vector<host::DirEntry>& subFolders,
                std::vector<host::DirEntry>& files) {
    for (host::DirEntry& entry : host::ListDirectory(folder)) {
        if (entry.info.kind == host::EntryKind::Directory) {
            ++state.folderCount;
            subFolders.push_back(std::move(entry));
        } else if (IsTheArchive(state, entry)) {
            // The archive being written is no part of its own content.
            if (state.archiveCountedInTree) --state.totalSteps;
        } else {
            ++state.fileCount;
            files.push_back(std::move(entry));
        }
    }
    std::sort(subFolders.begin(), subFolders.end(), NameLess);
    std::sort(files.begin(), files.end(), NameLess);
}

void ScanFolder(TBuildState& state, const std::string& folder) {
    std::vector<host::DirEntry> subFolders;
    std::vector<host::DirEntry> files;
    ListFolder(state, folder, subFolders, files);

    AppendDirInt(state, static_cast<int32_t>(subFolders.size()));
    for (const host::DirEntry& entry : subFolders) PackSubFolder(state, folder, entry);

    // The count is patched afterwards: a file whose content was not obtained gets no record,
    // and every counted record must be there for the directory to read back.
    const size_t fileCountOffset = state.directory.size();
    AppendDirInt(state, static_cast<int32_t>(files.size()));
    int32_t written = 0;
    for (const host::DirEntry& entry : files) {
        const std::string path = folder + entry.name;
        CheckNameLength(path, entry.name);
        if (PackFile(state, path, entry)) ++written;
        else ++state.failureCount;
        ReportStep(state, path);
    }
    if (written != static_cast<int32_t>(files.size())) PatchDirInt(state, fileCountOffset, written);
}

// Compresses the directory image into the header, refusing what a reader would refuse.
Veldane_PAK_HeaderType MakeHeader(const TBuildState& state, const std::string& archivePath) {
    if (static_cast<int64_t>(state.directory.size()) > kMaxStoredLength)
        FailLimit(EFBIG, archivePath, "the directory would reach 2 GiB");
    Veldane_PAK_HeaderType header;
    header.UnpackedDirSize = BufferLength(state.directory);
    header.PackedDir = CompressBytes(state.directory.data(), BufferLength(state.directory));
    const int64_t headerSize = kFixedHeaderSize + static_cast<int64_t>(header.PackedDir.size());
    if (headerSize > kMaxHeaderSize)
        FailLimit(EFBIG, archivePath,
                  "the compressed directory would need " + std::to_string(headerSize) +
                      " header bytes, more than the " + GroupThousands(kMaxHeaderSize) + " a reader accepts");
    if (headerSize + state.dataOffset > kMaxArchiveSize) FailLimit(EFBIG, archivePath, "the archive would reach 2 GiB");
    header.HeaderSize = static_cast<int32_t>(headerSize);
    return header;
}

// Puts the header and the compressed directory in front of the data area.
void WriteHeader(bool bigEndian, HostFile& archive, const Veldane_PAK_HeaderType& header) {
    InsertBytes(archive, 0, header.HeaderSize);
    TArrayOfByte fixed;
    AppendInt32(FromArchiveOrder(bigEndian, header.UnpackedDirSize), fixed);
    AppendInt32(FromArchiveOrder(bigEndian, header.HeaderSize), fixed);
    archive.Seek(0);
    archive.Write(fixed.data(), BufferLength(fixed));
    if (!header.PackedDir.empty()) archive.Write(header.PackedDir.data(), BufferLength(header.PackedDir));
}

}  // namespace

bool MakeArchive(bool bigEndian, const std::string& sourceDir, const std::string& archivePath,
                 const ProgressProc& progress, bool convertLoc, int32_t& folderCount, int32_t& fileCount) {
    if (archivePath.empty()) return false;
    std::string root = sourceDir;
    WithTrailingBackslash(root);
    if (!DirExistsSafe(root)) return false;

    Report(progress, 0, "preparing...");
    const TTreeCount tree = CountTree(root, true);
    if (!tree.ok) return false;

    const bool archiveExisted = host::Stat(archivePath).kind == host::EntryKind::File;
    HostFile archive(archivePath, HostFile::Mode::Create);
    folderCount = 0;
    fileCount = 0;
    TBuildState state{bigEndian, convertLoc, progress, root.size(), archive, archive.Identity(), archiveExisted,
                      folderCount, fileCount};
    state.totalSteps = static_cast<int64_t>(tree.dirCount) + tree.fileCount;
    state.dataOffset = archive.Position();
    state.ancestors.push_back(host::Stat(root).identity);

    Report(progress, 0, "scanning the directory...");
    ScanFolder(state, root);

    const Veldane_PAK_HeaderType header = MakeHeader(state, archivePath);
    Report(progress, 0, "finalizing...");
    WriteHeader(bigEndian, archive, header);
    archive.Close();
    return state.failureCount == 0;
}
