#include "fuzz/seed_corpus.h"

#include <algorithm>
#include <cstdint>

#include "engine/format/internal/directory_walk.h"
#include "fuzz/fuzz_entries.h"
#include "helpers/archive_writer.h"
#include "helpers/crafted_archives.h"
#include "helpers/temp_dir.h"

namespace {

constexpr char kLocMarker[] = "ZORVEL";

TestFile File(const std::string& name, const std::string& content) { return {name, Bytes(content)}; }

// A binary string table: count, offsets into the character area, then the area itself,
// which starts with the marker every written table carries.
TArrayOfByte LocTable(bool bigEndian, const std::vector<std::string>& strings) {
    std::string chars = std::string(kLocMarker) + '\0';
    std::vector<int32_t> offsets;
    for (const std::string& s : strings) {
        offsets.push_back(static_cast<int32_t>(chars.size()));
        chars += s;
        chars += '\0';
    }
    TArrayOfByte table;
    PutInt(table, bigEndian, static_cast<int32_t>(strings.size()));
    for (const int32_t offset : offsets) PutInt(table, bigEndian, offset);
    table.insert(table.end(), chars.begin(), chars.end());
    return table;
}

TestFolder EmptyRoot() { return {}; }

TestFolder FlatRoot() {
    TestFolder root;
    root.files = {File("readme.txt", "Veldane\r\n"), File("empty.dat", "")};
    return root;
}

// Folders three deep, a .loc table, empty files and a folder with no files of its own.
TestFolder NestedRoot(bool bigEndian) {
    TestFolder deep{"deep", {}, {File("bottom.bin", std::string(300, 'x')), File("nothing", "")}};
    TestFolder sub{"sub", {deep}, {File("Level.DAT", "level data")}};
    const TArrayOfByte table = LocTable(bigEndian, {"Start", "Line\twith tab", "", "Back\\slash ~tilde"});
    TestFolder text{"text", {sub}, {{"menu.loc", table}, File("notes.txt", "a\r\nb\r\n")}};
    TestFolder hollow{"hollow", {TestFolder{"inner", {}, {File("x", "1")}}}, {}};
    TestFolder root;
    root.folders = {text, hollow};
    root.files = {File("top.cfg", "key=value"), File("zero", "")};
    return root;
}

struct NamedTree {
    std::string name;
    TestFolder (*make)(bool bigEndian);
};

const NamedTree kTrees[] = {
    {"empty", [](bool) { return EmptyRoot(); }},
    {"flat", [](bool) { return FlatRoot(); }},
    {"nested", NestedRoot},
};

std::string OrderName(bool bigEndian) { return bigEndian ? "be" : "le"; }

void AddArchiveSeeds(std::vector<FuzzSeed>& seeds) {
    for (const NamedTree& tree : kTrees) {
        for (const bool bigEndian : {false, true}) {
            const TestArchive archive = EncodeTree(tree.make(bigEndian), bigEndian);
            const TArrayOfByte bytes = ArchiveBytes(archive.directory, archive.data, bigEndian);
            const std::string name = tree.name + "-" + OrderName(bigEndian);
            seeds.push_back({"archive_reader", name + ".pak", SeedKind::Archive, bigEndian, bytes});
            seeds.push_back({"directory_walk", name + ".dir", SeedKind::Directory, bigEndian, archive.directory});
        }
    }
}

TArrayOfByte WithOptions(uint8_t flags, const TArrayOfByte& rest) {
    TArrayOfByte input(rest.size() + 1);
    input[0] = flags;
    std::copy(rest.begin(), rest.end(), input.begin() + 1);
    return input;
}

// The raw form: the directory's length (little-endian), the directory, the data area.
TArrayOfByte RawForm(const TestArchive& archive) {
    TArrayOfByte raw;
    PutInt(raw, false, static_cast<int32_t>(archive.directory.size()));
    raw.insert(raw.end(), archive.directory.begin(), archive.directory.end());
    raw.insert(raw.end(), archive.data.begin(), archive.data.end());
    return raw;
}

// The first byte picks the extraction options: none, hash tags and .loc conversion together,
// a selective extraction before the whole one with .loc conversion, or an edit after it; the
// nested tree as a whole archive and in the raw form.
void AddExtractionSeeds(std::vector<FuzzSeed>& seeds) {
    for (const bool bigEndian : {false, true}) {
        const TestArchive archive = EncodeTree(NestedRoot(bigEndian), bigEndian);
        const TArrayOfByte whole = ArchiveBytes(archive.directory, archive.data, bigEndian);
        const TArrayOfByte raw = RawForm(archive);
        for (const uint8_t options : {uint8_t{0}, static_cast<uint8_t>(kFuzzHashTagsBit | kFuzzConvertLocBit),
                                       static_cast<uint8_t>(kFuzzSelectionBit | kFuzzConvertLocBit),
                                       kFuzzEditBit}) {
            const uint8_t flags = static_cast<uint8_t>(options | (bigEndian ? kFuzzBigEndianBit : 0));
            const std::string name = "nested-" + OrderName(bigEndian) + "-options" + std::to_string(options);
            seeds.push_back({"extraction", name, SeedKind::ExtractionInput, bigEndian, WithOptions(flags, whole)});
            seeds.push_back({"extraction", name + "-raw", SeedKind::ExtractionInput, bigEndian,
                             WithOptions(flags | kFuzzRawDirectoryBit, raw)});
        }
    }
}

void AddLocSeeds(std::vector<FuzzSeed>& seeds) {
    const std::vector<std::string> strings = {"New Game", "Load", "", "Quit\x01", "caf\xc3\xa9"};
    for (const bool bigEndian : {false, true}) {
        seeds.push_back({"loc_parser", "table-" + OrderName(bigEndian) + ".loc", SeedKind::LocTable, bigEndian,
                         LocTable(bigEndian, strings)});
        seeds.push_back({"loc_parser", "empty-table-" + OrderName(bigEndian) + ".loc", SeedKind::LocTable, bigEndian,
                         LocTable(bigEndian, {})});
    }
    const std::pair<const char*, std::string> texts[] = {
        {"lines.txt", "New Game\r\nLoad\r\n\r\nQuit\r\n"},
        {"escapes.txt", "tab\\09here\r\nback\\5Cslash\r\ntilde~7E\r\nnul\\00cut\r\n"},
        {"line-ends.txt", "lf only\ncr only\rboth\r\nno end"},
        {"lone-introducer.txt", "ends with \\\r\nand ~\r\nshort \\4\r\n"},
        {"embedded-nul.txt", std::string("before\r\n\0after\r\n", 16)},
    };
    for (const auto& [name, text] : texts) seeds.push_back({"loc_parser", name, SeedKind::LocText, false, Bytes(text)});
}

// The hostile seeds: bombs the reader refuses within a bound of their size, and inputs that
// extraction must survive.
constexpr int32_t kBombOffsets = 1500;
constexpr size_t kBombStringLength = 1 << 20;
constexpr int32_t kSmallBombOffsets = 400;
constexpr size_t kSmallBombStringLength = 1024;
constexpr size_t kZeroDirectoryLength = 2 << 20;
constexpr int32_t kLargestDeclaredDirectory = 0x7FFFFFFF;
constexpr int32_t kChainDepth = 2000;
constexpr char kChainFolderName[] = "sub";
constexpr int32_t kSharingRecords = 256;
constexpr int32_t kDeepChainDepth = 25000;
constexpr int32_t kFilesAtEveryLevelDepth = 2500;
constexpr size_t kZeroDirectoryInflated = 8 << 20;
constexpr int32_t kLongNamedFolders = 15;
constexpr int32_t kFilesBelowLongNames = 2000;
constexpr size_t kSharedContentLength = 4 << 20;

struct HostileArchive {
    std::string name;
    TArrayOfByte bytes;
    uint8_t extractionOptions;
};

std::vector<HostileArchive> HostileArchives() {
    TestFolder locBomb;
    locBomb.files = {{"bomb.loc", LocBombTable(kBombOffsets, kBombStringLength)}};
    const TestArchive locBombArchive = EncodeTree(locBomb, false);
    // One record more than a data area of one empty stream admits.
    const auto sharedEmpty = static_cast<int32_t>(MaxFileRecords(kSmallestStreamSize) + 1);
    return {
        {"loc-bomb-le", ArchiveBytes(locBombArchive.directory, locBombArchive.data, false), kFuzzConvertLocBit},
        {"directory-size-bomb-le", ArchiveDeclaringDirectory(CompressedZeros(kZeroDirectoryLength),
                                                             kLargestDeclaredDirectory), 0},
        {"shared-empty-stream-le", SharedStreamArchive(sharedEmpty, {}), 0},
        {"folder-chain-le", NestedChainArchive(kChainDepth, kChainFolderName), 0},
        {"shared-large-stream-le", SharedStreamArchive(kSharingRecords, TArrayOfByte(kSharedContentLength, 0)), 0},
        // Deeper than a recursion could go, files at every level of a chain, a directory that
        // inflates to megabytes of zeros behind an 8-byte root record, long folder names
        // repeated by every line of a listing, and a file beside a folder of its name.
        {"deep-chain-le", ChainArchive(kDeepChainDepth, false), 0},
        {"files-at-every-level-le", ChainArchive(kFilesAtEveryLevelDepth, true), 0},
        {"zero-directory-le", ArchiveDeclaringDirectory(CompressedZeros(kZeroDirectoryInflated),
                                                        static_cast<int32_t>(kZeroDirectoryInflated)), 0},
        {"long-folder-names-le", LongFolderNamesArchive(kLongNamedFolders, kFilesBelowLongNames, true, true), 0},
        {"file-beside-folder-le", FileBesideFolderOfItsNameArchive(), 0},
    };
}

void AddHostileSeeds(std::vector<FuzzSeed>& seeds) {
    for (HostileArchive& archive : HostileArchives()) {
        seeds.push_back({"archive_reader", archive.name + ".pak", SeedKind::Archive, false, archive.bytes, true});
        seeds.push_back({"extraction", archive.name + "-options" + std::to_string(archive.extractionOptions),
                         SeedKind::ExtractionInput, false, WithOptions(archive.extractionOptions, archive.bytes),
                         true});
    }
    seeds.push_back({"loc_parser", "loc-bomb-small-le.loc", SeedKind::LocTable, false,
                     LocBombTable(kSmallBombOffsets, kSmallBombStringLength), true});
}

}  // namespace

std::vector<FuzzSeed> MakeSeedCorpus() {
    std::vector<FuzzSeed> seeds;
    AddArchiveSeeds(seeds);
    AddExtractionSeeds(seeds);
    AddLocSeeds(seeds);
    AddHostileSeeds(seeds);
    return seeds;
}

void WriteSeedCorpus(const std::string& dir) {
    for (const FuzzSeed& seed : MakeSeedCorpus()) WriteFile(dir + "/" + seed.target + "/" + seed.name, seed.bytes);
}
