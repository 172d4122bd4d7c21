#include "ui/entry_store.h"

#include <memory>

#include "engine/format/loc_convert.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/paths.h"
#include "support/private_folder.h"
#include "support/whole_file.h"

namespace {

bool HoldsEntry(const TArchiveIndex& index, const std::string& entryPath) {
    TEntryPaths paths(index);
    for (const TArchiveEntry& entry : index.entries)
        if (paths.Of(entry) == entryPath) return true;
    return false;
}

std::string EntryName(const std::string& entryPath) {
    const size_t cut = entryPath.rfind('\\');
    return cut == std::string::npos ? entryPath : entryPath.substr(cut + 1);
}

std::string EntryFolder(const std::string& entryPath) {
    const size_t cut = entryPath.rfind('\\');
    return cut == std::string::npos ? "" : entryPath.substr(0, cut);
}

TEntryStoreResult Refused(TEntryStoreOutcome outcome, std::string reason) {
    TEntryStoreResult result;
    result.outcome = outcome;
    result.reason = std::move(reason);
    return result;
}

// The content to store, as the engine is to be given it: a host file and whether the engine
// turns its .loc text into a table. The engine converts by the file's name, and an Xbox 360
// edit finds the entry by the file's name, so where the given file's name will not do, the
// content is written under the entry's name to a private folder, already converted.
struct TStoredContent {
    std::unique_ptr<host::PrivateFolder> folder;
    std::string filePath;
    bool convertLoc = false;
    std::string problem;  // why the content could not be prepared
};

TStoredContent PrepareContent(const TEntryStoreRequest& request) {
    TStoredContent content;
    const std::string name = EntryName(request.entryPath);
    const bool nameFits = !request.xbox || HostBaseName(request.filePath) == name;
    const bool conversionFits = !request.locText || IsLocFileName(request.filePath);
    if (nameFits && conversionFits) {
        content.filePath = request.filePath;
        content.convertLoc = request.locText;
        return content;
    }
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        content.problem = "the entry's name \"" + name + "\" cannot name a file here";
        return content;
    }
    TArrayOfByte bytes;
    if (request.locText) {
        if (!TextToLoc(request.xbox, request.filePath, bytes))
            content.problem = NoticeText("cannot make a string table of", request.filePath,
                                         "the file cannot be read, or its table would be too large to store");
    } else {
        const std::string why = ReadWholeFileOrSayWhy(request.filePath, bytes);
        if (!why.empty()) content.problem = NoticeText("cannot read", request.filePath, why);
    }
    if (!content.problem.empty()) return content;
    std::string problem;
    content.folder = host::PrivateFolder::Make(host::TemporaryFolders(), "vpak-store-", problem);
    if (content.folder == nullptr) {
        content.problem = "no folder for temporary files will do:\n" + problem;
        return content;
    }
    content.filePath = content.folder->Path() + "/" + name;
    HostFile file(content.filePath, HostFile::Mode::CreateNew, 0600);
    file.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    return content;
}

bool StoreInPc(const TEngineCalls& engine, const TEntryStoreRequest& request, const TStoredContent& content) {
    TReplaceFileRequest replace;
    replace.bigEndian = false;
    replace.archivePath = request.archivePath;
    replace.filePath = content.filePath;
    replace.key = request.entryPath;
    replace.matchByTag = false;
    replace.convertLoc = content.convertLoc;
    replace.progress = request.progress;
    replace.notices = request.notices;
    return engine.ReplaceOneFile(replace).ok;
}

bool StoreInXbox(const TEngineCalls& engine, const TEntryStoreRequest& request, const TStoredContent& content) {
    TAddRequest add;
    add.bigEndian = true;
    add.archivePath = request.archivePath;
    add.paths = {content.filePath};
    add.folder = EntryFolder(request.entryPath);
    add.convertLoc = content.convertLoc;
    add.progress = request.progress;
    add.notices = request.notices;
    const TEditResult result = engine.AddToArchive(add);
    // The entry was there a moment ago: a file added beside it instead is no put back.
    return result.ok && result.counts.replaced == 1 && result.counts.added == 0;
}

}  // namespace

std::string EntryGoneReason(const std::string& entryPath) {
    return "\"" + entryPath + "\" is not in the archive any more: nothing was stored.";
}

std::string ArchiveReplacedReason(const std::string& archivePath) {
    return "The archive \"" + archivePath +
           "\" is not the file the entry was taken from any more (another file was put in its place): nothing was stored.";
}

TEntryStoreResult StoreEntry(const TEngineCalls& engine, const TEntryStoreRequest& request) {
    const host::EntryInfo before = host::Stat(request.archivePath);
    if (before.kind != host::EntryKind::File || !(before.identity == request.archiveIdentity))
        return Refused(TEntryStoreOutcome::ArchiveReplaced, ArchiveReplacedReason(request.archivePath));

    TArchiveIndex index;
    if (!engine.ReadArchiveIndex(request.xbox, request.archivePath, index, request.notices))
        return Refused(TEntryStoreOutcome::Failed, "");
    if (!HoldsEntry(index, request.entryPath))
        return Refused(TEntryStoreOutcome::EntryGone, EntryGoneReason(request.entryPath));

    const TStoredContent content = PrepareContent(request);
    if (!content.problem.empty()) return Refused(TEntryStoreOutcome::Unreadable, content.problem + ".");

    const bool stored = request.xbox ? StoreInXbox(engine, request, content) : StoreInPc(engine, request, content);
    TEntryStoreResult result;
    result.outcome = stored ? TEntryStoreOutcome::Stored : TEntryStoreOutcome::Failed;
    result.archiveIdentity = host::Stat(request.archivePath).identity;
    return result;
}
