#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "engine/reading/archive_reader.h"
#include "engine/format/internal/directory_walk.h"
#include "engine/format/loc_convert.h"
#include "fuzz/fuzz_entries.h"
#include "fuzz/seed_corpus.h"
#include "helpers/archive_writer.h"
#include "helpers/temp_dir.h"

#ifndef VPAK_FUZZ_DIR
#define VPAK_FUZZ_DIR "fuzz"
#endif

namespace fs = std::filesystem;

namespace {

using FuzzEntry = std::string (*)(const uint8_t*, size_t);

struct FuzzTarget {
    const char* name;  // the folder below fuzz/corpus and fuzz/crashes
    FuzzEntry entry;
};

// Names the parameter in test output instead of dumping its bytes.
void PrintTo(const FuzzTarget& target, std::ostream* out) { *out << target.name; }

const FuzzTarget kTargets[] = {
    {"archive_reader", FuzzArchiveReader},
    {"directory_walk", FuzzDirectoryWalk},
    {"loc_parser", FuzzLocParser},
    {"extraction", FuzzExtraction},
};

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> files;
    if (!fs::is_directory(dir)) return files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string RunEntry(FuzzEntry entry, const TArrayOfByte& input) { return entry(input.data(), input.size()); }

struct Listed {
    bool ok = false;
    TStringList listing;
};

Listed ListArchive(const std::string& path, bool bigEndian, const std::string& target = "",
                   uint8_t options = 0) {
    Listed result;
    result.ok = ExtractArchive({.bigEndian = bigEndian, .archivePath = path, .targetDir = target, .hashTags = (options & kFuzzHashTagsBit) != 0, .convertLoc = (options & kFuzzConvertLocBit) != 0, .listing = &result.listing}).ok;
    return result;
}

// The archive an extraction input describes, built with the tests' own writer.
TArrayOfByte ArchiveOfExtractionInput(const FuzzSeed& seed) {
    const TArrayOfByte rest(seed.bytes.begin() + 1, seed.bytes.end());
    if ((seed.bytes[0] & kFuzzRawDirectoryBit) == 0) return rest;
    const size_t length = ReadInt32At(rest, 0);
    const auto dirStart = rest.begin() + kFuzzRawLengthSize;
    return ArchiveBytes(TArrayOfByte(dirStart, dirStart + length), TArrayOfByte(dirStart + length, rest.end()),
                        seed.bigEndian);
}

// The well-formed seeds of one kind; the hostile ones need not list or convert.
std::vector<FuzzSeed> SeedsOfKind(SeedKind kind) {
    std::vector<FuzzSeed> seeds;
    for (FuzzSeed& seed : MakeSeedCorpus())
        if (seed.kind == kind && !seed.hostile) seeds.push_back(std::move(seed));
    return seeds;
}

std::vector<FuzzSeed> HostileSeeds() {
    std::vector<FuzzSeed> seeds;
    for (FuzzSeed& seed : MakeSeedCorpus())
        if (seed.hostile) seeds.push_back(std::move(seed));
    return seeds;
}

class FuzzCorpusReplay : public testing::TestWithParam<FuzzTarget> {};

}  // namespace

// An empty or misplaced corpus folder would make the replay below pass on nothing.
TEST_P(FuzzCorpusReplay, SavedCorpusIsPresent) {
    EXPECT_FALSE(FilesIn(fs::path(VPAK_FUZZ_DIR) / "corpus" / GetParam().name).empty());
}

// Every saved input and every crash ever found goes through the target's own entry.
TEST_P(FuzzCorpusReplay, SavedInputsAndCrashesKeepEveryProperty) {
    for (const char* folder : {"corpus", "crashes"}) {
        for (const std::string& file : FilesIn(fs::path(VPAK_FUZZ_DIR) / folder / GetParam().name)) {
            SCOPED_TRACE(file);
            EXPECT_EQ(RunEntry(GetParam().entry, ReadFileBytes(file)), "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpusReplay, testing::ValuesIn(kTargets),
                         [](const testing::TestParamInfo<FuzzTarget>& info) { return std::string(info.param.name); });

TEST(FuzzSeeds, ArchivesListCompletelyInTheirByteOrder) {
    TempDir dir;
    const std::vector<FuzzSeed> seeds = SeedsOfKind(SeedKind::Archive);
    ASSERT_FALSE(seeds.empty());
    for (const FuzzSeed& seed : seeds) {
        SCOPED_TRACE(seed.name);
        const std::string path = dir / seed.name;
        WriteFile(path, seed.bytes);
        const Listed listed = ListArchive(path, seed.bigEndian);
        EXPECT_TRUE(listed.ok);
        EXPECT_EQ(listed.listing.empty(), seed.name.rfind("empty", 0) == 0);
    }
}

TEST(FuzzSeeds, DirectoriesWalkToTheirEndWithoutErrors) {
    const std::vector<FuzzSeed> seeds = SeedsOfKind(SeedKind::Directory);
    ASSERT_FALSE(seeds.empty());
    for (const FuzzSeed& seed : seeds) {
        SCOPED_TRACE(seed.name);
        TStringList listing;
        const TWalkResult walk = WalkDirectory(seed.bigEndian, seed.bytes, 100, listing);
        EXPECT_FALSE(walk.overran);
        EXPECT_EQ(walk.errorCount, 0);
        EXPECT_EQ(walk.cursor, BufferLength(seed.bytes));
    }
}

TEST(FuzzSeeds, ExtractionInputsExtractEveryFile) {
    const std::vector<FuzzSeed> seeds = SeedsOfKind(SeedKind::ExtractionInput);
    ASSERT_FALSE(seeds.empty());
    for (const FuzzSeed& seed : seeds) {
        SCOPED_TRACE(seed.name);
        TempDir dir;
        const std::string archive = dir / "input.pak";
        WriteFile(archive, ArchiveOfExtractionInput(seed));
        fs::create_directory(dir / "out");
        EXPECT_EQ((seed.bytes[0] & kFuzzBigEndianBit) != 0, seed.bigEndian);
        const Listed listed = ListArchive(archive, seed.bigEndian, dir / "out", seed.bytes[0]);
        EXPECT_TRUE(listed.ok);
        EXPECT_FALSE(listed.listing.empty());
    }
}

TEST(FuzzSeeds, LocTablesConvertToText) {
    const std::vector<FuzzSeed> seeds = SeedsOfKind(SeedKind::LocTable);
    ASSERT_FALSE(seeds.empty());
    for (const FuzzSeed& seed : seeds) {
        SCOPED_TRACE(seed.name);
        TArrayOfByte buffer = seed.bytes;
        EXPECT_TRUE(LocToText(seed.bigEndian, buffer));
    }
}

TEST(FuzzSeeds, EverySeedKeepsTheProperties) {
    for (const FuzzSeed& seed : MakeSeedCorpus()) {
        SCOPED_TRACE(seed.target + "/" + seed.name);
        const auto* target = std::find_if(std::begin(kTargets), std::end(kTargets),
                                          [&](const FuzzTarget& t) { return seed.target == t.name; });
        ASSERT_NE(target, std::end(kTargets));
        EXPECT_EQ(RunEntry(target->entry, seed.bytes), "");
    }
}

TEST(FuzzSeeds, HostileSeedsAreAFewKilobytesAtMost) {
    const std::vector<FuzzSeed> seeds = HostileSeeds();
    ASSERT_FALSE(seeds.empty());
    for (const FuzzSeed& seed : seeds) EXPECT_LE(seed.bytes.size(), 8u * 1024u) << seed.target << "/" << seed.name;
}

// The bombs are refused within their bounds; the others are sound archives that are costly
// to extract (a folder chain deeper than any path, one large stream named by many records).
TEST(FuzzSeeds, HostileArchivesListOnlyWhereTheyAreSound) {
    const std::map<std::string, bool> lists = {
        {"loc-bomb-le.pak", true},           {"directory-size-bomb-le.pak", false},
        {"shared-empty-stream-le.pak", false}, {"folder-chain-le.pak", true},
        {"shared-large-stream-le.pak", true}, {"deep-chain-le.pak", true},
        {"files-at-every-level-le.pak", true}, {"zero-directory-le.pak", false},
        {"long-folder-names-le.pak", false},   {"file-beside-folder-le.pak", true},
    };
    TempDir dir;
    size_t checked = 0;
    for (const FuzzSeed& seed : HostileSeeds()) {
        if (seed.kind != SeedKind::Archive) continue;
        SCOPED_TRACE(seed.name);
        ASSERT_EQ(lists.count(seed.name), 1u);
        WriteFile(dir / seed.name, seed.bytes);
        EXPECT_EQ(ListArchive(dir / seed.name, seed.bigEndian).ok, lists.at(seed.name));
        ++checked;
    }
    EXPECT_EQ(checked, lists.size());
}

TEST(FuzzSeeds, HostileLocTablesFailToConvert) {
    size_t checked = 0;
    for (const FuzzSeed& seed : HostileSeeds()) {
        if (seed.kind != SeedKind::LocTable) continue;
        SCOPED_TRACE(seed.name);
        TArrayOfByte buffer = seed.bytes;
        EXPECT_FALSE(LocToText(seed.bigEndian, buffer));
        ++checked;
    }
    EXPECT_GT(checked, 0u);
}
