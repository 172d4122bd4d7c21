#include "engine/editing/archive_edit.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <future>
#include <optional>

#include "engine/reading/archive_entries.h"
#include "engine/extraction/entry_selection.h"
#include "engine/building/internal/archive_builder.h"
#include "engine/reading/internal/archive_reader.h"
#include "engine/building/internal/directory_deflater.h"
#include "engine/format/internal/directory_walk.h"
#include "engine/editing/internal/edit_tree.h"
#include "engine/building/internal/source_tree.h"
#include "engine/building/internal/staged_archive.h"
#include "support/display_text.h"
#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/host_lock.h"
#include "support/number_text.h"
#include "support/ordered_work.h"
#include "support/paths.h"
#include "support/zlib_adapter.h"

namespace {

const char* const kReadingText = "reading the directory...";

// An edit holds every folder of the archive as an object: a crafted directory of millions of
// empty folder records (12 bytes each) must not become gigabytes. Real archives hold a few
// thousand.
constexpr int64_t kMaxEditedFolders = 1000000;

bool FoldersAreEditable(const TArchiveLook& look, TNotices* notices) {
    if (static_cast<int64_t>(look.Index().folders.size()) <= kMaxEditedFolders) return true;
    Notify(notices, look.Path(),
           NoticeText("cannot edit", look.Path(),
                      "its directory holds more than " + GroupThousands(kMaxEditedFolders) + " folders"));
    return false;
}

// A kept stream that does not lie inside the archive cannot be copied as it is: raises.
void CheckKeptStreamsLieInside(const TArchiveLook& look, const std::vector<TSourceFile>& files) {
    for (const TSourceFile& file : files) {
        if (!file.kept) continue;
        const TKeptStream& kept = *file.kept;
        if (kept.packedSize >= 0 && kept.start >= 0 && kept.start + kept.packedSize <= look.FileSize()) continue;
        throw EDecompressionError("Cannot copy the stream of entry \"" + ArchivePathForUser(ArchivePathOf(file)) +
                                  "\" in \"" + look.Path() + "\": it does not lie inside the archive");
    }
}

// The kept streams that do not start as a zlib stream, by index into files: copied all the
// same, and told, since judging them is for test, not for an edit. Runs on a thread of its
// own, through a descriptor of its own, while the new archive is written: one small read per
// entry costs about what compressing the directory does.
std::vector<size_t> FindStreamsWithoutZlibHeader(const HostFile& opened, const std::vector<TSourceFile>& files) {
    const std::unique_ptr<HostFile> own = HostFile::Reopened(opened, HostFile::Mode::Read);
    HostFile& archive = *own;
    std::vector<size_t> damaged;
    for (size_t k = 0; k < files.size(); ++k) {
        if (!files[k].kept) continue;
        uint8_t head[kZlibHeaderSize] = {0, 0};
        if (files[k].kept->packedSize >= kZlibHeaderSize) {
            archive.Seek(files[k].kept->start);
            archive.ReadExact(head, kZlibHeaderSize);
        }
        if (!BeginsAsZlibStream(head, kZlibHeaderSize)) damaged.push_back(k);
    }
    return damaged;
}

void TellDamaged(const std::vector<size_t>& damaged, const std::vector<TSourceFile>& files, TEditCounts& counts,
                 TNotices* notices) {
    for (size_t k : damaged) {
        ++counts.damagedKept;
        const std::string path = ArchivePathForUser(ArchivePathOf(files[k]));
        Notify(notices, path, NoticeText("copied the damaged stream of", path, "it is no zlib stream; it stays as it was"));
    }
}

// What an edit changes in the tree, with the archive being edited and the file being
// written known; false, with the reason told, when nothing is to be written.
using TChange = std::function<bool(TEditTree& tree, const std::vector<host::FileIdentity>& leftOut)>;

// Reads the archive, lets change edit its tree, and writes the edited tree in its place.
// The archive is held alone from the reading to the renaming, so no update comes between.
bool EditArchive(bool bigEndian, TOpenedArchive& archive, bool convertLoc, const ProgressProc& progress,
                 TNotices* notices, TEditCounts& counts, bool& complete, const TChange& change,
                 TStreamsAhead* ahead = nullptr) {
    if (!CanOpenArchive(archive, notices)) return false;
    Report(progress, kReadingText);
    // The archive's lock first, as every writer takes it; the new file comes under it.
    const std::unique_ptr<host::FileLock> alone = archive.Lock(host::LockKind::Exclusive);
    TStagedArchive staged(archive, notices);
    TArchiveLook look(bigEndian, archive, notices);
    if (!look.Listed()) return false;
    // The new directory most often begins like the old one: that is compressed ahead from
    // the moment it is read, while the edit goes on. Compressing it takes longer than the
    // rest of the edit before the copy, and the copy cannot start before.
    std::optional<TDirectoryDeflater> deflater;
    deflater.emplace(&look.Index().directory);
    if (!FoldersAreEditable(look, notices)) return false;
    TEditTree tree(look.Index());

    if (!change(tree, {look.Identity(), staged.Identity()})) return false;
    const TListedTree listed = tree.Listed();
    TTreeBuild build{bigEndian, convertLoc, "", &listed, SourceFilesOf(listed), &look.File(), CoreCount(),
                     &*deflater, ahead};
    CheckKeptStreamsLieInside(look, build.files);
    counts.keptFiles = static_cast<int32_t>(
        std::count_if(build.files.begin(), build.files.end(), [](const TSourceFile& file) { return file.kept; }));
    std::future<std::vector<size_t>> damaged = std::async(
        std::launch::async, [&] { return FindStreamsWithoutZlibHeader(look.File(), build.files); });
    int32_t folderCount = 0;
    int32_t fileCount = 0;
    complete = WriteArchiveTree(build, staged.File(), archive.Path(), progress, notices, folderCount, fileCount);
    TellDamaged(damaged.get(), build.files, counts, notices);
    staged.Commit();
    return true;
}

// ---- adding ----------------------------------------------------------------------------------

// A host path given to add, as the edit takes it in.
struct TGivenPath {
    std::string path;
    host::EntryInfo info;
    std::string name;      // the name it goes in under; "" for a folder whose content goes in
};

bool NamesItsContent(const std::string& path) {
    const std::string name = HostBaseName(path);
    return path.back() == '/' || name == "." || name == "..";
}

// Why a given path cannot be added at all, "" when it can.
std::string GivenPathProblem(const TGivenPath& given) {
    if (given.info.kind == host::EntryKind::Missing) return host::ErrorText(given.info.errorCode);
    if (given.info.kind == host::EntryKind::Other) return "it is no file or folder";
    if (given.name.find('\\') != std::string::npos)
        return "the name holds a backslash, which the archive takes for a folder separator";
    if (given.info.kind == host::EntryKind::Directory) {
        const int code = host::ListDirectory(given.path).errorCode;
        if (code != 0) return host::ErrorText(code);
    }
    return "";
}

bool IsLeftOut(const host::EntryInfo& info, const std::vector<host::FileIdentity>& leftOut) {
    return info.kind == host::EntryKind::File &&
           std::find(leftOut.begin(), leftOut.end(), info.identity) != leftOut.end();
}

}  // namespace

static bool AddCounting(const TAddRequest& request, TEditCounts& counts) {
    const TProgressScope scope(request.progress);
    counts = {};
    std::vector<TGivenPath> given;
    for (const std::string& path : request.paths) {
        if (path.empty()) continue;
        TGivenPath item{path, host::Stat(path), HostBaseName(path)};
        if (item.info.kind == host::EntryKind::Directory && NamesItsContent(path)) item.name = "";
        const std::string problem = GivenPathProblem(item);
        if (!problem.empty()) {
            Notify(request.notices, path, NoticeText("cannot add", path, problem));
            return false;
        }
        given.push_back(item);
    }

    // The files given by name are compressed while the archive is read and its tree changed;
    // the archive itself among them is left to the edit, which leaves it out.
    TOpenedArchive archive(request.archivePath);
    std::vector<TStreamsAhead::TFile> givenFiles;
    for (const TGivenPath& item : given)
        if (item.info.kind == host::EntryKind::File && !(archive.IsFile() && item.info.identity == archive.Identity()))
            givenFiles.push_back({item.path, item.info});
    TStreamsAhead ahead(request.bigEndian, request.convertLoc, givenFiles, CoreCount());

    bool complete = true;
    bool allWentIn = true;
    // The host trees put in: the edited tree reads its new files from them.
    std::vector<std::unique_ptr<TListedTree>> hostTrees;
    const TChange change = [&](TEditTree& tree, const std::vector<host::FileIdentity>& leftOut) {
        std::string collision;
        TEditFolder* target = tree.MakeFolder(request.folder, collision);
        for (size_t k = 0; k < given.size() && target != nullptr && collision.empty(); ++k) {
            const TGivenPath& item = given[k];
            if (item.info.kind == host::EntryKind::File) {
                if (IsLeftOut(item.info, leftOut)) continue;
                tree.PutFile(*target, {item.name, item.info}, TFileOrigin::OfPath(item.path), counts, collision);
                continue;
            }
            hostTrees.push_back(std::make_unique<TListedTree>(ListSourceTree(item.path, true)));
            const TListedTree& listed = *hostTrees.back();
            LeaveOutFiles(*hostTrees.back(), leftOut);
            if (!TellUntakeable(listed, "cannot store", request.notices)) allWentIn = false;
            TEditFolder* into = target;
            if (!item.name.empty()) {
                std::string folderPath = request.folder;
                into = tree.MakeFolder(folderPath + (folderPath.empty() ? "" : "\\") + item.name, collision);
                if (into == nullptr) break;
            }
            tree.PutTree(*into, listed, counts, collision);
        }
        if (collision.empty()) return true;
        Notify(request.notices, request.archivePath, NoticeText("cannot add to", request.archivePath, collision));
        return false;
    };
    if (!EditArchive(request.bigEndian, archive, request.convertLoc, request.progress, request.notices, counts,
                     complete, change, &ahead))
        return false;
    return complete && allWentIn;
}

static bool RemoveCounting(const TRemoveRequest& request, TEditCounts& counts) {
    const TProgressScope scope(request.progress);
    counts = {};
    bool complete = true;
    const TChange change = [&](TEditTree& tree, const std::vector<host::FileIdentity>&) {
        bool allMatched = true;
        for (const std::string& entry : request.entries) {
            std::string problem;
            if (tree.Remove(entry, counts, problem)) continue;
            allMatched = false;
            if (problem.empty()) problem = "the archive holds no such file or folder";
            else problem = "it " + problem;
            Notify(request.notices, entry, NoticeText("cannot remove", entry, problem));
        }
        tree.RemoveEmptied(counts);
        return allMatched;
    };
    TOpenedArchive archive(request.archivePath);
    return EditArchive(request.bigEndian, archive, false, request.progress, request.notices, counts, complete,
                       change) &&
           complete;
}

TEditResult AddToArchive(const TAddRequest& request) {
    TEditResult result;
    result.ok = AddCounting(request, result.counts);
    return result;
}

TEditResult RemoveFromArchive(const TRemoveRequest& request) {
    TEditResult result;
    result.ok = RemoveCounting(request, result.counts);
    return result;
}
