#include "engine/updating/archive_update.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/format/hash_tag.h"
#include "engine/format/internal/archive_format.h"
#include "engine/format/internal/archive_header.h"
#include "engine/reading/internal/archive_reader.h"
#include "engine/updating/internal/archive_update.h"
#include "engine/format/internal/directory_walk.h"
#include "engine/format/internal/entry_key.h"
#include "engine/format/internal/file_record.h"
#include "engine/updating/internal/replacement_reasons.h"
#include "engine/building/internal/source_content.h"
#include "engine/building/internal/source_tree.h"
#include "engine/updating/internal/update_journal.h"
#include "engine/updating/internal/update_pass.h"
#include "support/collation.h"
#include "support/existence.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "support/zlib_adapter.h"

namespace {

bool IsUsableReplacement(const TReplacementData* data) {
    if (data == nullptr) return false;
    if (data->Valid == 0) return false;
    if (data->DataSize < 0) return false;
    if (data->DataSize > 0 && data->Data == nullptr) return false;
    if (data->IsPacked == 0 && data->UnpackedSize != data->DataSize) return false;
    // A stored stream must hold at least one byte, or the next stream would share its offset.
    if (data->IsPacked != 0 && data->DataSize < 1) return false;
    if (data->UnpackedSize < 0) return false;
    return true;
}

IntegerArrayType EntryPositions(const TArchiveIndex& index) {
    IntegerArrayType positions;
    positions.reserve(index.entries.size());
    for (const TArchiveEntry& entry : index.entries) positions.push_back(entry.entryPos);
    return positions;
}

TArrayOfByte NewStream(const TReplacementData& data) {
    if (data.IsPacked != 0) return TArrayOfByte(data.Data, data.Data + data.DataSize);
    return CompressBytes(data.Data, data.DataSize);
}

// Everything the write phase needs, worked out and checked before the first byte is written.
struct TReplacementPlan {
    TStreamReplacement target;        // the stream replaced, where it stands in the data area
    Veldane_PAK_HeaderType header;   // the new header, with the recompressed directory
};

// True when the two streams' byte ranges meet, or both start at the same place.
bool StreamsShareBytes(const TFileRecord& a, const TFileRecord& b) {
    if (a.DataOffset == b.DataOffset) return true;
    const int64_t aEnd = static_cast<int64_t>(a.DataOffset) + a.PackedSize;
    const int64_t bEnd = static_cast<int64_t>(b.DataOffset) + b.PackedSize;
    return a.DataOffset < bEnd && b.DataOffset < aEnd;
}

// True when another record's stream overlaps the target's: replacing would corrupt that
// entry too.
bool SharesBytesWithAnother(const TArrayOfByte& directory, const IntegerArrayType& positions, int32_t targetPos,
                            const TFileRecord& target) {
    for (const int32_t pos : positions)
        if (pos != targetPos && StreamsShareBytes(ReadRecord(directory, pos), target)) return true;
    return false;
}

// Moves the DataOffset of every record behind the target by delta. False when a moved
// offset would leave the 32-bit range.
bool ShiftLaterRecords(TArrayOfByte& directory, const IntegerArrayType& positions, int32_t targetPos,
                       const TFileRecord& target, int32_t delta) {
    for (const int32_t pos : positions) {
        if (pos == targetPos) continue;
        TFileRecord record = ReadRecord(directory, pos);
        if (record.DataOffset <= target.DataOffset) continue;
        const int64_t moved = static_cast<int64_t>(record.DataOffset) + delta;
        if (moved > std::numeric_limits<int32_t>::max()) return false;
        record.DataOffset = static_cast<int32_t>(moved);
        WriteRecord(directory, pos, record);
    }
    return true;
}

// Checks the re-read archive against the index, patches the directory in memory and
// recompresses it. Writes nothing. Returns why the entry cannot be replaced, "" when it can;
// the checks come in the order the one-pass procedure makes them, so that both tell one
// reason.
std::string PlanReplacement(const TArchiveIndex& index, int32_t entry, const TArrayOfByte& stream,
                            int32_t unpackedSize, int64_t archiveSize, Veldane_PAK_HeaderType& header,
                            TArrayOfByte& directory, TReplacementPlan& plan) {
    const IntegerArrayType positions = EntryPositions(index);
    for (const int32_t pos : positions)
        if (!RecordFitsDirectory(directory, pos)) return kRecordOutsideDirectory;

    const int32_t targetPos = positions[static_cast<size_t>(entry)];
    const TFileRecord target = ReadRecord(directory, targetPos);

    // The old stream must lie inside the file, or resizing it would move the wrong bytes.
    if (target.DataOffset < 0 || target.PackedSize < 0) return kImpossibleRecord;
    const int64_t absOffset = static_cast<int64_t>(header.HeaderSize) + target.DataOffset;
    if (absOffset + target.PackedSize > archiveSize) return kStreamRunsPastEnd;
    if (SharesBytesWithAnother(directory, positions, targetPos, target)) return kStreamShared;

    const int64_t newPackedSize = BufferLength(stream);
    const int64_t streamDelta = newPackedSize - target.PackedSize;
    if (archiveSize + streamDelta > kMaxArchiveSize) return kArchiveTooLarge;
    plan.target = {target.DataOffset, target.PackedSize, TStreamBytes::Held(stream)};

    if (!ShiftLaterRecords(directory, positions, targetPos, target, static_cast<int32_t>(streamDelta)))
        return kArchiveTooLarge;
    WriteRecord(directory, targetPos, {target.DataOffset, static_cast<int32_t>(newPackedSize), unpackedSize});

    // Only fixed-width integers changed, so the directory keeps its length.
    plan.header = HeaderOfDirectory(directory);
    const int64_t newHeaderSize = HeaderLength(plan.header);
    if (newHeaderSize > kMaxHeaderSize) return kDirectoryTooLarge;
    plan.header.HeaderSize = static_cast<int32_t>(newHeaderSize);
    const int64_t headerDelta = newHeaderSize - header.HeaderSize;
    if (archiveSize + streamDelta + headerDelta > kMaxArchiveSize) return kArchiveTooLarge;
    return "";
}

// The one pass that puts the new stream and header in place: the data area in front of the
// stream and behind it move once, as far as the header and the stream change length.
TPassPlan PassOf(const TReplacementPlan& plan, int64_t oldHeaderSize, int64_t archiveSize) {
    TPassPlan pass = PlanPass(oldHeaderSize, archiveSize - oldHeaderSize, plan.header.HeaderSize, {plan.target});
    pass.head = HeaderBytes(kPcByteOrder, plan.header);
    return pass;
}

// Names what cannot be taken: the entry name of folder ("" or ending in "\\"), or the folder
// itself. The name is taken as it is, a "\\" in it included.
void Refuse(const std::string& root, TSourceTree& tree, const std::string& folder, const std::string& name,
            const std::string& what, const std::string& reason) {
    const std::string path = HostPathOfEntry(root, folder, name);
    Notify(&tree.refused, path, NoticeText(what, path, reason));
}

// What of the tree cannot be taken, folder by folder in the order make takes them: a
// folder that could not be read before its sub-folders, its names holding a "\\" after them.
struct TRefusalCollector {
    const std::string& root;
    TSourceTree& tree;
    std::string folder{};  // relative to the root, in the archive's form, "" or ending in "\\"

    void Enter(size_t index) {
        const TSourceFolder& node = tree.listed.folders[index];
        if (!node.unreadable.empty()) Refuse(root, tree, folder, "", "cannot read the folder", node.unreadable);
    }
    bool Descend(size_t index, size_t k) {
        if (tree.listed.folders[tree.listed.Child(index, k)].linksBack) return false;
        folder += tree.listed.folders[index].folders[k].name + "\\";
        return true;
    }
    void Ascended(size_t index, size_t k) {
        if (!tree.listed.folders[tree.listed.Child(index, k)].linksBack)
            folder.resize(folder.size() - tree.listed.folders[index].folders[k].name.size() - 1);
    }
    void Leave(size_t index) {
        for (const host::DirEntry& entry : tree.listed.folders[index].unstorable)
            Refuse(root, tree, folder, entry.name, "cannot use",
                   "the name holds a backslash, which archive paths take for a separator");
    }
};

// What makes two source files stand for one entry: the key their entry is found by; none
// for a name that carries no tag when matchByTag (it stands for no entry).
std::optional<std::string> EntryKeyOf(const std::string& relative, bool matchByTag) {
    const std::string key = SourceFileKey(relative, matchByTag);
    if (matchByTag && key.empty()) return std::nullopt;
    return KeyOfWanted(key, matchByTag);
}

// Keeps the first of the files that stand for one entry and refuses the later ones, so that
// which file an entry receives does not depend on the order the folders list their files.
// The files are told apart by a hash of their keys, each key made again where two hashes
// meet: keys are paths, and keeping one per file would cost the files' depth each.
void RefuseSecondSources(bool matchByTag, std::vector<TSourceFile>& files, TNotices& refused) {
    const char* reason = matchByTag ? "\" carries the same hash tag and is used instead"
                                    : "\" stands for the same archive path and is used instead";
    std::unordered_map<size_t, std::vector<size_t>> keptOfHash;  // indices into kept
    std::vector<TSourceFile> kept;
    for (const TSourceFile& file : files) {
        const std::optional<std::string> key = EntryKeyOf(ArchivePathOf(file), matchByTag);
        if (!key) {
            kept.push_back(file);
            continue;
        }
        std::vector<size_t>& sameHash = keptOfHash[std::hash<std::string>()(*key)];
        const auto taken = std::find_if(sameHash.begin(), sameHash.end(), [&](size_t k) {
            return EntryKeyOf(ArchivePathOf(kept[k]), matchByTag) == key;
        });
        if (taken == sameHash.end()) {
            sameHash.push_back(kept.size());
            kept.push_back(file);
            continue;
        }
        const std::string path = HostPathOf(file);
        Notify(&refused, path, NoticeText("cannot use", path, "\"" + HostPathOf(kept[*taken]) + reason));
    }
    files = std::move(kept);
}

// Replaces the entry found by key; sourceFile, the file the content came from, is named when
// no entry matches ("" when the caller gave bytes).
bool ReplaceEntry(TOpenedArchive& opened, const std::string& key, bool matchByTag, const TReplacementData& data,
                  const std::string& sourceFile, TNotices* notices, TJournalling journalling = TJournalling::Kept) {
    // Locks the archive for the whole update, after rolling back one that was interrupted.
    TArchiveUpdate update(opened, notices, journalling);
    TArchiveIndex index;
    if (!IndexArchiveToUpdate(opened, index, notices)) return false;
    const TEntryMatch match = FindEntry(index, key, matchByTag);
    if (match.Ambiguous()) {
        TellAmbiguous(notices, sourceFile.empty() ? key : sourceFile, index, match, matchByTag);
        return false;
    }
    if (!match.Found()) {
        if (!sourceFile.empty()) TellNoEntry(notices, sourceFile, key, matchByTag);
        else if (matchByTag) Notify(notices, key, "the archive holds no file with the hash tag " + key);
        else Notify(notices, key, NoticeText("cannot replace", ArchivePathForUser(key), "the archive holds no such file"));
        return false;
    }

    const TArrayOfByte stream = NewStream(data);

    // The index was read under the update's lock: its header and directory are the file's.
    const std::unique_ptr<HostFile> writable = opened.Open(HostFile::Mode::ReadWrite);
    HostFile& archive = *writable;
    Veldane_PAK_HeaderType header;
    TArrayOfByte directory;
    HeaderOfIndex(index, header, directory);
    TReplacementPlan plan;
    const int64_t archiveSize = archive.Size();
    const std::string problem =
        PlanReplacement(index, match.entry, stream, data.UnpackedSize, archiveSize, header, directory, plan);
    if (!problem.empty()) {
        TellEntryRefused(notices, index.PathOf(index.entries[static_cast<size_t>(match.entry)]), problem);
        return false;
    }

    update.Watch(archive);
    RunPass(archive, PassOf(plan, header.HeaderSize, archiveSize), update, TPassRole::Last);
    archive.Close();
    update.Commit();
    return true;
}

// Why sourceDir holds no files to take, "" when it is a folder.
std::string FolderToTakeProblem(const std::string& sourceDir) {
    const host::EntryInfo info = host::Stat(sourceDir);
    if (info.kind == host::EntryKind::Directory) return "";
    return info.kind == host::EntryKind::Missing ? host::ErrorText(info.errorCode) : "it is not a folder";
}

}  // namespace

bool CanReplaceFromDirectory(bool bigEndian, const TOpenedArchive& archive, std::string& sourceDir,
                             TNotices* notices) {
    if (bigEndian) {
        TellXboxRefused(notices, archive.Path());
        return false;
    }
    if (!CanOpenArchive(archive, notices)) return false;
    if (sourceDir.empty()) sourceDir = ".";
    const std::string problem = FolderToTakeProblem(sourceDir);
    if (problem.empty()) return true;
    Notify(notices, sourceDir, NoticeText("cannot read the folder", sourceDir, problem));
    return false;
}

// The archive file itself is never a replacement source: reading it while it is being
// rewritten would feed an entry a half-updated archive.
bool CollectSourceFiles(const std::string& sourceDir, const host::FileIdentity& archive, bool matchByTag,
                        TSourceTree& tree) {
    if (!CollectFiles(sourceDir, tree)) return false;
    std::erase_if(tree.files, [&](const TSourceFile& file) {
        return file.entry->info.kind == host::EntryKind::File && file.entry->info.identity == archive;
    });
    RefuseSecondSources(matchByTag, tree.files, tree.refused);
    return true;
}

void PassOn(const TNotices& from, TNotices* to) {
    for (const TNotice& notice : from) Notify(to, notice.path, notice.text, notice.advice);
}

bool ReplaceEntryData(bool bigEndian, const std::string& archivePath, const std::string& key, bool matchByTag,
                      const TReplacementData* data, TNotices* notices, TJournalling journalling) {
    if (bigEndian) {
        TellXboxRefused(notices, archivePath);
        return false;
    }
    if (!IsUsableReplacement(data)) {
        Notify(notices, key, NoticeText("cannot replace", ArchivePathForUser(key), "the new content given is not usable"));
        return false;
    }
    TOpenedArchive opened(archivePath);
    return ReplaceEntry(opened, key, matchByTag, *data, "", notices, journalling);
}

namespace {

// ReplaceOneFile for an archive the operation has opened.
bool ReplaceOneFileIn(TOpenedArchive& opened, const std::string& filePath, const std::string& key, bool convertLoc,
                      bool matchByTag, TNotices* notices) {
    TArrayOfByte content;
    const std::string problem = ObtainStoredContent(kPcByteOrder, convertLoc, filePath, content);
    if (!problem.empty()) {
        Notify(notices, filePath, NoticeText("cannot read", filePath, problem));
        return false;
    }
    if (matchByTag && key.empty()) {
        TellUntagged(notices, filePath);
        return false;
    }

    TReplacementData data;
    data.Valid = 1;
    data.Data = content.data();
    data.UnpackedSize = BufferLength(content);
    data.DataSize = BufferLength(content);
    data.IsPacked = 0;
    return ReplaceEntry(opened, key, matchByTag, data, filePath, notices);
}

}  // namespace

static bool ReplaceFile(bool bigEndian, const std::string& archivePath, const std::string& filePath,
                        const std::string& key, bool convertLoc, bool matchByTag, TNotices* notices,
                        const ProgressProc& progress) {
    const TProgressScope scope(progress);
    if (bigEndian) {
        TellXboxRefused(notices, archivePath);
        return false;
    }
    TOpenedArchive opened(archivePath);
    return ReplaceOneFileIn(opened, filePath, key, convertLoc, matchByTag, notices);
}

std::string SourceFileKey(const std::string& relative, bool matchByTag) {
    return matchByTag ? HashTagFromFileName(relative) : relative;
}

// Each file lists the archive again, and would tell again why the archive does not read:
// every text is passed on once.
void ReplaceFilesOneByOne(TOpenedArchive& archive, const std::vector<TSourceFile>& files, size_t from,
                          bool matchByTag, bool convertLoc, const ProgressProc& progress, int32_t& replacedCount,
                          TNotices* notices) {
    const int64_t total = static_cast<int64_t>(files.size());
    std::unordered_set<std::string> told;
    for (size_t i = from; i < files.size(); ++i) {
        const std::string relative = ArchivePathOf(files[i]);
        TNotices fileNotices;
        if (ReplaceOneFileIn(archive, HostPathOf(files[i]), SourceFileKey(relative, matchByTag), convertLoc,
                             matchByTag, &fileNotices))
            ++replacedCount;
        for (const TNotice& notice : fileNotices)
            if (told.insert(notice.text).second) Notify(notices, notice.path, notice.text, notice.advice);
        Report(progress, {static_cast<int64_t>(i) + 1, total, relative.c_str()});
    }
}

bool CollectFiles(const std::string& dir, TSourceTree& tree) {
    tree.files.clear();
    tree.refused.clear();
    tree.listed = {};
    if (!DirExistsSafe(dir)) return false;
    tree.listed = ListSourceTree(dir, false);
    TRefusalCollector collector{dir, tree};
    WalkDepthFirst(tree.listed, collector);
    tree.files = SourceFilesOf(tree.listed);
    return true;
}

TReplaceResult ReplaceOneFile(const TReplaceFileRequest& request) {
    TReplaceResult result;
    result.ok = ReplaceFile(request.bigEndian, request.archivePath, request.filePath, request.key, request.convertLoc,
                            request.matchByTag, request.notices, request.progress);
    result.replacedCount = result.ok ? 1 : 0;
    return result;
}
