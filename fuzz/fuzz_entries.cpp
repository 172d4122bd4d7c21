#include "fuzz/fuzz_entries.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <set>
#include <system_error>
#include <vector>

#include "engine/checking/archive_check.h"
#include "engine/editing/archive_edit.h"
#include "engine/reading/archive_entries.h"
#include "engine/reading/archive_reader.h"
#include "engine/extraction/entry_selection.h"
#include "engine/format/internal/archive_format.h"
#include "engine/reading/internal/archive_reader.h"
#include "engine/format/internal/directory_walk.h"
#include "engine/format/internal/hash_tag.h"
#include "engine/format/internal/loc_convert.h"
#include "engine/format/loc_convert.h"
#include "engine/extraction/selective_extraction.h"
#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "support/zlib_adapter.h"

namespace fs = std::filesystem;

namespace {

// The numeric field of a listing line that starts at column: the listing is what these
// targets check the reader's output against.
int32_t ListingField(const std::string& line, int32_t column) {
    return HexToInt(line.substr(static_cast<size_t>(column), kHexFieldWidth));
}

// The header size the walk target hands to WalkDirectory; any value is valid there.
constexpr int32_t kWalkHeaderSize = kMinHeaderSize;
// Extraction writes one file per listed entry and creates each folder level of its path; an
// input listing more files or nesting deeper than these is read but not extracted, so a
// single run stays short (a chain of thousands of folders costs what the file system takes
// to create them, and its paths outgrow what the checks here can open). What the files
// hold in all is bounded by extraction itself: no more than the archive can inflate to.
constexpr size_t kMaxExtractedFiles = 512;
constexpr size_t kMaxExtractedDepth = 64;
constexpr char kFieldSeparator = '*';
constexpr int32_t kFieldColumns[] = {kEntryPosColumn, kDataOffsetColumn, kAbsOffsetColumn, kPackedSizeColumn,
                                     kUnpackedSizeColumn};

// One temporary directory per process, removed at exit, with a sub-folder per target so
// targets run in one process (the replay tests) never see each other's files.
class WorkArea {
public:
    static const WorkArea& Get() {
        static const WorkArea area;
        return area;
    }

    std::string Folder(const std::string& name) const {
        const fs::path folder = root_ / name;
        fs::create_directories(folder);
        return folder.string();
    }

private:
    WorkArea() {
        std::string pattern = (fs::temp_directory_path() / "vpak-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
    }
    ~WorkArea() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    fs::path root_;
};

void WriteInput(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) std::abort();
}

TArrayOfByte ReadBack(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return TArrayOfByte(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every listing line carries five 8-digit fields, each closed by "*", before the path;
// ListingField and CutLine depend on that layout.
std::string CheckListing(const TStringList& listing) {
    for (const std::string& line : listing) {
        if (line.size() < static_cast<size_t>(kPrefixLength)) return "listing line shorter than its prefix: " + line;
        for (const int32_t column : kFieldColumns)
            if (line[static_cast<size_t>(column + kHexFieldWidth)] != kFieldSeparator)
                return "listing field not closed by '*': " + line;
    }
    return {};
}

// A report's counts: never more items done than its total.
std::string CheckProgressCounts(const TProgress& progress) {
    if (progress.done > progress.total) return "progress reports more items done than its total";
    return {};
}

// Whatever an archive that lists holds, testing it ends in a verdict: no error is raised,
// every listed entry is counted, and the bad ones are named in directory order.
std::string TestListedArchive(bool bigEndian, const std::string& path, const TStringList& listing) {
    std::string verdict;
    const ProgressProc progress = [&](const TProgress& report) {
        if (verdict.empty()) verdict = CheckProgressCounts(report);
    };
    TArchiveCheck check;
    try {
        check = CheckArchive({bigEndian, path, progress, nullptr});
        if (!check.opened || !check.readsAsArchive)
            return "test refused an archive that lists";
    } catch (const std::exception& error) {
        return std::string("test raised on an archive that lists: ") + error.what();
    }
    if (!verdict.empty()) return verdict;
    if (check.entryCount != static_cast<int64_t>(listing.size())) return "test counted other entries than the listing";
    size_t line = 0;
    for (const TEntryFault& fault : check.faults) {
        while (line < listing.size() && CutLine(listing[line], kPrefixLength, kSuffixLength) != fault.path) ++line;
        if (line == listing.size()) return "test named a bad entry out of directory order: " + fault.path;
        if (fault.reason.empty()) return "test named a bad entry without a reason";
        ++line;
    }
    return {};
}

std::string ReadOneOrder(bool bigEndian, const std::string& path) {
    try {
        HostFile archive(path, HostFile::Mode::Read);
        Veldane_PAK_HeaderType header;
        TArrayOfByte directory;
        const bool read = ReadArchiveHeader(bigEndian, archive, header, directory);
        if (archive.Position() != 0) return "ReadArchiveHeader moved the file position";
        if (read && BufferLength(directory) != header.UnpackedDirSize)
            return "accepted a directory whose size differs from UnpackedDirSize";

        TStringList listing;
        const bool listed = ExtractArchive({.bigEndian = bigEndian, .archivePath = path, .listing = &listing}).ok;
        if (listed && !read) return "listed an archive whose header was refused";
        std::string verdict = CheckListing(listing);
        if (!verdict.empty() || !listed) return verdict;
        verdict = TestListedArchive(bigEndian, path, listing);
        if (!verdict.empty()) return verdict;

        // Listing again into the same list replaces the lines instead of adding to them.
        TStringList again = listing;
        if (!ExtractArchive({.bigEndian = bigEndian, .archivePath = path, .listing = &again}).ok ||
            again != listing)
            return "a second listing differs from the first";
    } catch (const EInOutError&) {
    } catch (const EZlibError&) {
    }
    return {};
}

std::string WalkOneOrder(bool bigEndian, const TArrayOfByte& directory) {
    TStringList listing;
    const TWalkResult walk = WalkDirectory(bigEndian, directory, kWalkHeaderSize, listing);
    if (walk.cursor < 0 || walk.cursor > BufferLength(directory)) return "walk cursor outside the directory";
    if (walk.errorCount < 0) return "negative error count";
    const std::string verdict = CheckListing(listing);
    if (!verdict.empty()) return verdict;
    // Each line needs a record of at least its three integers.
    if (static_cast<int64_t>(listing.size()) * kFileRecordIntsSize > walk.cursor) return "more lines than records";
    for (const std::string& line : listing) {
        // A record's three integers follow the position the line names, inside what was walked.
        const int64_t entryPos = ListingField(line, kEntryPosColumn);
        if (entryPos < 0 || entryPos + kFileRecordIntsSize > walk.cursor) return "record position outside the walk: " + line;
    }
    return {};
}

// Text from LocToText holds no control bytes except the CR LF that ends each line.
std::string CheckLocText(const TArrayOfByte& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0x20) continue;
        const bool lineEnd = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        if (!lineEnd) return "control byte left unescaped in .loc text";
        ++i;
    }
    if (!text.empty() && text.back() != '\n') return ".loc text does not end with a line end";
    return {};
}

// A table converted without fault gives one line per string.
std::string TableToText(bool bigEndian, const uint8_t* data, size_t size) {
    TArrayOfByte buffer(data, data + size);
    if (!LocToText(bigEndian, buffer)) return {};
    const std::string verdict = CheckLocText(buffer);
    if (!verdict.empty()) return verdict;
    const int64_t count = FromArchiveOrder(bigEndian, ReadInt32At(TArrayOfByte(data, data + 4), 0));
    if (std::count(buffer.begin(), buffer.end(), '\n') != count) return "LocToText gave a line count other than the table's";
    return {};
}

// Text read into a table and written out again must read back to the same text: the
// escapes cover every byte a line cannot hold.
std::string TextRoundTrip(bool bigEndian, const std::string& folder, const std::string& textPath) {
    TArrayOfByte table;
    if (!TextToLoc(bigEndian, textPath, table)) return "TextToLoc refused a small text";
    TArrayOfByte text = table;
    if (!LocToText(bigEndian, text)) return "LocToText refused a table TextToLoc wrote";
    std::string verdict = CheckLocText(text);
    if (!verdict.empty()) return verdict;

    const std::string againPath = folder + "/again.txt";
    WriteInput(againPath, text.data(), text.size());
    TArrayOfByte tableAgain;
    if (!TextToLoc(bigEndian, againPath, tableAgain)) return "TextToLoc refused text LocToText wrote";
    TArrayOfByte textAgain = tableAgain;
    if (!LocToText(bigEndian, textAgain)) return "LocToText refused a table written from its own text";
    if (textAgain != text) return ".loc text changed on a second round trip";
    return {};
}

std::string SortedEntries(const fs::path& dir, std::set<std::string>& names) {
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
        names.insert(it->path().filename().string());
    return error ? "cannot list " + dir.string() : std::string();
}

// Only the archive and the sandbox may be in the run's folder, and only the target
// directory in the sandbox; the archive must be as it was written.
std::string CheckSandbox(const fs::path& run, const fs::path& archive, const TArrayOfByte& written) {
    std::set<std::string> names;
    std::string verdict = SortedEntries(run, names);
    if (!verdict.empty()) return verdict;
    if (names != std::set<std::string>{"input.pak", "sandbox"}) return "extraction wrote outside its target directory";
    names.clear();
    verdict = SortedEntries(run / "sandbox", names);
    if (!verdict.empty()) return verdict;
    if (names != std::set<std::string>{"out"}) return "extraction wrote outside its target directory";
    if (ReadBack(archive.string()) != written) return "extraction changed the archive";
    return {};
}

void PutArchiveInt(TArrayOfByte& out, bool bigEndian, int32_t value) {
    AppendInt32(FromArchiveOrder(bigEndian, value), out);
}

// The archive of a raw extraction input: header, the directory compressed, the data area.
TArrayOfByte ArchiveFromRawInput(bool bigEndian, const uint8_t* data, size_t size) {
    uint32_t declared = 0;
    for (size_t k = 0; k < kFuzzRawLengthSize && k < size; ++k) declared |= static_cast<uint32_t>(data[k]) << (8 * k);
    const size_t start = std::min(size, kFuzzRawLengthSize);
    const size_t dirLength = std::min<size_t>(declared, size - start);
    const TArrayOfByte packed = CompressBytes(data + start, static_cast<int32_t>(dirLength));

    TArrayOfByte archive;
    PutArchiveInt(archive, bigEndian, static_cast<int32_t>(dirLength));
    PutArchiveInt(archive, bigEndian, static_cast<int32_t>(kFixedHeaderSize + packed.size()));
    archive.insert(archive.end(), packed.begin(), packed.end());
    archive.insert(archive.end(), data + start + dirLength, data + size);
    return archive;
}

// After a true result every listed file is in place: the size its record gives unless it
// was converted from .loc, or written again by a later line of the same name.
std::string CheckExtractedFiles(const TStringList& listing, const std::string& target, bool hashTags,
                                bool convertLoc) {
    std::map<std::string, int> written;
    std::vector<std::string> outputs;
    for (const std::string& line : listing) {
        const std::string path = CutLine(line, kPrefixLength, kSuffixLength);
        outputs.push_back(HostPathBelow(target, hashTags ? AttachTag(path, path) : path));
        ++written[outputs.back()];
    }
    for (size_t i = 0; i < listing.size(); ++i) {
        const host::EntryInfo info = host::Stat(outputs[i]);
        if (info.kind != host::EntryKind::File) return "a listed file is missing after a true result: " + outputs[i];
        const bool converted = convertLoc && IsLocFileName(outputs[i]);
        if (!converted && written[outputs[i]] == 1 && info.size != ListingField(listing[i], kUnpackedSizeColumn))
            return "an extracted file has the wrong size: " + outputs[i];
    }
    return {};
}

size_t FolderDepth(const std::string& path) {
    return static_cast<size_t>(std::count_if(path.begin(), path.end(), [](char c) { return c == '\\' || c == '/'; }));
}

bool WithinExtractionLimits(const TStringList& listing) {
    if (listing.size() > kMaxExtractedFiles) return false;
    for (const std::string& line : listing)
        if (FolderDepth(CutLine(line, kPrefixLength, kSuffixLength)) >= kMaxExtractedDepth) return false;
    return true;
}

std::string ExtractIntoSandbox(bool bigEndian, const std::string& archive, const std::string& target,
                               bool hashTags, bool convertLoc) {
    std::string verdict;
    size_t reports = 0;
    std::string previousText;
    const ProgressProc progress = [&](const TProgress& report) {
        if (report.text == nullptr && verdict.empty()) verdict = "progress text is a null pointer";
        const std::string shown = report.text != nullptr ? report.text : "";
        // A long step repeats the last text without position to keep its caller alive; how
        // often depends on the machine, not on the archive.
        const bool keepAlive = !report.HasPosition() && shown == previousText;
        previousText = shown;
        if (!keepAlive) ++reports;
        if (verdict.empty()) verdict = CheckProgressCounts(report);
    };
    try {
        TStringList listing;
        if (!ExtractArchive({.bigEndian = bigEndian, .archivePath = archive, .listing = &listing}).ok) return {};
        verdict = TestListedArchive(bigEndian, archive, listing);
        if (!verdict.empty() || !WithinExtractionLimits(listing)) return verdict;
        const bool extracted = ExtractArchive({.bigEndian = bigEndian, .archivePath = archive, .targetDir = target, .hashTags = hashTags, .convertLoc = convertLoc, .progress = progress, .listing = &listing}).ok;
        if (!verdict.empty()) return verdict;
        // One report before the folders are made, then one per file, failed files included.
        if (reports != listing.size() + 1) return "progress was not reported once per file";
        if (extracted) return CheckExtractedFiles(listing, target, hashTags, convertLoc);
    } catch (const EInOutError&) {
    } catch (const EZlibError&) {
    }
    return verdict;
}

// The paths a selective extraction of a listing asks for: its first path in upper case with
// "/" between folders, its last file's name at any depth with its first byte left open, and
// a path no listing holds, which must select nothing.
std::vector<std::string> SelectionPaths(const TStringList& listing) {
    std::string first = CutLine(listing.front(), kPrefixLength, kSuffixLength);
    for (char& c : first) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
        else if (c == '\\') c = '/';
    }
    const std::string last = CutLine(listing.back(), kPrefixLength, kSuffixLength);
    const size_t cut = last.find_last_of("\\/");
    std::string name = cut == std::string::npos ? last : last.substr(cut + 1);
    if (!name.empty()) name[0] = '?';
    return {first, "**/" + name, "vpak-fuzz-no-such-entry/*"};
}

size_t CountFilesBelow(const fs::path& folder) {
    size_t count = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file(error)) ++count;
    return count;
}

// Extracts what SelectionPaths selects into the empty target. The first path, when it is one
// a user may give, selects at least its own entry; the last selects nothing; no more files
// are written than were selected, and progress hears of each selected file.
std::string ExtractSelectionIntoSandbox(bool bigEndian, const std::string& archive, const std::string& target,
                                        bool hashTags, bool convertLoc) {
    try {
        TStringList listing;
        if (!ExtractArchive({.bigEndian = bigEndian, .archivePath = archive, .listing = &listing}).ok) return {};
        if (listing.empty() || !WithinExtractionLimits(listing)) return {};
        std::vector<std::string> paths = SelectionPaths(listing);
        paths.erase(std::remove_if(paths.begin(), paths.end(),
                                   [](const std::string& path) { return !EntryPatternProblem(path).empty(); }),
                    paths.end());
        size_t reports = 0;
        TSelectiveExtractionRequest request{bigEndian, archive, target, paths, hashTags, convertLoc,
                                            [&](const TProgress&) { ++reports; }};
        const TSelectiveExtractionResult result = ExtractSelectedEntries(request);
        if (!result.archiveRead) return "a selective extraction could not read an archive that lists";
        if (static_cast<size_t>(result.selectedCount) > listing.size()) return "more files selected than listed";
        if (std::find(result.unmatched.begin(), result.unmatched.end(), "vpak-fuzz-no-such-entry/*") ==
            result.unmatched.end())
            return "a path that names no entry selected one";
        const bool firstUsable = EntryPatternProblem(SelectionPaths(listing).front()).empty();
        if (firstUsable && result.selectedCount == 0) return "a listed path did not select its own entry";
        if (CountFilesBelow(target) > static_cast<size_t>(result.selectedCount))
            return "a selective extraction wrote files it did not select";
        if (result.selectedCount > 0 && reports < static_cast<size_t>(result.selectedCount) + 1)
            return "progress was not reported once per selected file";
    } catch (const EInOutError&) {
    } catch (const EZlibError&) {
    }
    return {};
}

// Removes the first listed entry from a copy of the archive. An edit may refuse the archive or
// raise, but one that succeeds must leave an archive that lists the other entries.
std::string EditCopy(bool bigEndian, const fs::path& archive, const fs::path& run) {
    try {
        TArchiveIndex before;
        if (!ReadArchiveIndex(bigEndian, archive.string(), before, nullptr) || before.entries.empty()) return {};
        const fs::path copy = run / "edited.pak";
        fs::copy_file(archive, copy, fs::copy_options::overwrite_existing);
        const std::string first = before.PathOf(before.entries.front());
        const TEditResult removed = RemoveFromArchive({bigEndian, copy.string(), {first}, nullptr, nullptr});
        if (!removed.ok) return {};
        const TEditCounts& counts = removed.counts;
        TArchiveIndex after;
        if (!ReadArchiveIndex(bigEndian, copy.string(), after, nullptr)) return "an edited archive does not list";
        if (after.entries.size() + static_cast<size_t>(counts.removedFiles) != before.entries.size())
            return "an edit lost or invented entries";
    } catch (const EInOutError&) {
    } catch (const EZlibError&) {
    }
    return {};
}

}  // namespace

std::string FuzzArchiveReader(const uint8_t* data, size_t size) {
    const std::string path = WorkArea::Get().Folder("reader") + "/input.pak";
    WriteInput(path, data, size);
    for (const bool bigEndian : {false, true}) {
        const std::string verdict = ReadOneOrder(bigEndian, path);
        if (!verdict.empty()) return verdict;
    }
    return {};
}

std::string FuzzDirectoryWalk(const uint8_t* data, size_t size) {
    const TArrayOfByte directory(data, data + size);
    for (const bool bigEndian : {false, true}) {
        const std::string verdict = WalkOneOrder(bigEndian, directory);
        if (!verdict.empty()) return verdict;
    }
    return {};
}

std::string FuzzLocParser(const uint8_t* data, size_t size) {
    for (const bool bigEndian : {false, true}) {
        const std::string verdict = TableToText(bigEndian, data, size);
        if (!verdict.empty()) return verdict;
    }
    const std::string folder = WorkArea::Get().Folder("loc");
    const std::string textPath = folder + "/input.txt";
    WriteInput(textPath, data, size);
    for (const bool bigEndian : {false, true}) {
        const std::string verdict = TextRoundTrip(bigEndian, folder, textPath);
        if (!verdict.empty()) return verdict;
    }
    return {};
}

std::string FuzzExtraction(const uint8_t* data, size_t size) {
    if (size == 0) return {};
    const uint8_t flags = data[0];
    const fs::path run = WorkArea::Get().Folder("extraction");
    fs::remove_all(run);
    const fs::path target = run / "sandbox" / "out";
    fs::create_directories(target);
    const bool bigEndian = (flags & kFuzzBigEndianBit) != 0;
    const TArrayOfByte bytes = (flags & kFuzzRawDirectoryBit) != 0 ? ArchiveFromRawInput(bigEndian, data + 1, size - 1)
                                                                    : TArrayOfByte(data + 1, data + size);
    const fs::path archive = run / "input.pak";
    WriteInput(archive.string(), bytes.data(), bytes.size());

    std::string verdict;
    if ((flags & kFuzzSelectionBit) != 0) {
        verdict = ExtractSelectionIntoSandbox(bigEndian, archive.string(), target.string(),
                                              (flags & kFuzzHashTagsBit) != 0, (flags & kFuzzConvertLocBit) != 0);
        if (verdict.empty()) verdict = CheckSandbox(run, archive, bytes);
        fs::remove_all(target);
        fs::create_directories(target);
    }
    if (verdict.empty())
        verdict = ExtractIntoSandbox(bigEndian, archive.string(), target.string(), (flags & kFuzzHashTagsBit) != 0,
                                     (flags & kFuzzConvertLocBit) != 0);
    if (verdict.empty()) verdict = CheckSandbox(run, archive, bytes);
    if (verdict.empty() && (flags & kFuzzEditBit) != 0) verdict = EditCopy(bigEndian, archive, run);
    fs::remove_all(run);
    return verdict;
}
