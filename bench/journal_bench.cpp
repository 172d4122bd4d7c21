// What the rollback journal costs: one replacement near the front and one near the end of a
// 300 MiB archive, each with the journal (saved bytes written and flushed, archive flushed)
// and without it (the bare in-place update, nothing flushed).
//
// The archive lies in the system's temporary directory (TMPDIR); put that on the disk to be
// measured. Arguments: bytes by which the stream grows (0: same length, nothing moves).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/updating/internal/archive_update.h"
#include "engine/updating/internal/update_journal.h"
#include "support/bytes.h"
#include "support/host_file.h"
#include "support/paths.h"
#include "support/zlib_adapter.h"

namespace {

constexpr int kFileCount = 300;
constexpr int kFrontIndex = 1;
constexpr int kEndIndex = 298;

TArrayOfByte RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    TArrayOfByte out(n);
    for (uint8_t& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

std::string FileName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%03d", i);
    return name;
}

// File i holds between 512 KiB and 1.5 MiB of incompressible bytes: about 300 MiB in all.
TArrayOfByte FileContent(int i) {
    std::mt19937 rng(static_cast<uint32_t>(1000 + i));
    const size_t length = 524288 + rng() % 1048576;
    return RandomBytes(length, static_cast<uint32_t>(i));
}

struct TEntrySizes {
    int32_t packed = 0;
    int32_t unpacked = 0;
};

// The directory of the archive: kFileCount files in the root, the streams back to back.
TArrayOfByte DirectoryImage(const std::vector<TEntrySizes>& sizes) {
    TArrayOfByte directory;
    AppendInt32(0, directory);
    AppendInt32(kFileCount, directory);
    int32_t offset = 0;
    for (int i = 0; i < kFileCount; ++i) {
        const std::string name = FileName(i);
        const TEntrySizes& entry = sizes[static_cast<size_t>(i)];
        AppendInt32(static_cast<int32_t>(name.size()), directory);
        AppendTextToBytes(name, directory);
        AppendInt32(offset, directory);
        AppendInt32(entry.packed, directory);
        AppendInt32(entry.unpacked, directory);
        offset += entry.packed;
    }
    return directory;
}

int32_t CompressedLength(const TArrayOfByte& bytes) {
    return BufferLength(CompressBytes(bytes.data(), BufferLength(bytes)));
}

// One archive in the builder's layout, written once and removed at exit.
class LargeArchive {
public:
    LargeArchive() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vpak-journal-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        dir_ = pattern;
        path_ = dir_ + "/large.pak";

        // The data area is written first, then put behind the header, as the builder does.
        HostFile data(path_ + ".data", HostFile::Mode::Create);
        for (int i = 0; i < kFileCount; ++i) {
            const TArrayOfByte content = FileContent(i);
            const TArrayOfByte stream = CompressBytes(content.data(), BufferLength(content));
            sizes_.push_back({BufferLength(stream), BufferLength(content)});
            data.Write(stream.data(), BufferLength(stream));
        }
        const TArrayOfByte directory = DirectoryImage(sizes_);
        const TArrayOfByte packedDir = CompressBytes(directory.data(), BufferLength(directory));
        TArrayOfByte header;
        AppendInt32(BufferLength(directory), header);
        AppendInt32(BufferLength(packedDir) + 8, header);

        HostFile file(path_, HostFile::Mode::Create);
        file.Write(header.data(), BufferLength(header));
        file.Write(packedDir.data(), BufferLength(packedDir));
        std::vector<uint8_t> buffer(1 << 22);
        data.Seek(0);
        for (int64_t n; (n = data.Read(buffer.data(), static_cast<int64_t>(buffer.size()))) > 0;) file.Write(buffer.data(), n);
        file.Flush();
        file.Close();
        data.Close();
        std::filesystem::remove(path_ + ".data");
    }
    ~LargeArchive() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    const std::string& Path() const { return path_; }
    const std::vector<TEntrySizes>& Sizes() const { return sizes_; }

private:
    std::vector<TEntrySizes> sizes_;
    std::string dir_;
    std::string path_;
};

LargeArchive& Archive() {
    static LargeArchive archive;
    return archive;
}

// Only here is an update run without its journal (TJournalling::Skipped), to measure it.
bool Replace(const char* entry, const TArrayOfByte& content, TJournalling journalling) {
    TReplacementData data;
    data.Valid = 1;
    data.Data = content.data();
    data.UnpackedSize = BufferLength(content);
    data.DataSize = BufferLength(content);
    return ReplaceEntryData(false, Archive().Path(), entry, false, &data, nullptr, journalling);
}

// The smallest growth of the entry's content from 4096 bytes on after which the compressed
// directory keeps its length, so that only the tail behind the stream moves. Worked out on
// the directory alone; the archive is not touched.
int64_t GrowthKeepingTheDirectoryLength(int index, const TArrayOfByte& original, const TArrayOfByte& extra) {
    const int32_t oldLength = CompressedLength(DirectoryImage(Archive().Sizes()));
    for (int64_t growth = 4096; growth < BufferLength(extra); ++growth) {
        TArrayOfByte longer = original;
        longer.insert(longer.end(), extra.begin(), extra.begin() + growth);
        std::vector<TEntrySizes> sizes = Archive().Sizes();
        sizes[static_cast<size_t>(index)] = {CompressedLength(longer), BufferLength(longer)};
        if (CompressedLength(DirectoryImage(sizes)) == oldLength) return growth;
    }
    return -1;
}

int64_t GrowthMovingTheDataArea(int index, const TArrayOfByte& original, const TArrayOfByte& extra) {
    const int32_t oldLength = CompressedLength(DirectoryImage(Archive().Sizes()));
    for (int64_t growth = 4096; growth < BufferLength(extra); ++growth) {
        TArrayOfByte longer = original;
        longer.insert(longer.end(), extra.begin(), extra.begin() + growth);
        std::vector<TEntrySizes> sizes = Archive().Sizes();
        sizes[static_cast<size_t>(index)] = {CompressedLength(longer), BufferLength(longer)};
        if (CompressedLength(DirectoryImage(sizes)) != oldLength) return growth;
    }
    return -1;
}

int32_t HeaderSizeOfArchive() {
    HostFile file(Archive().Path(), HostFile::Mode::Read);
    uint8_t fixed[8];
    file.ReadExact(fixed, 8);
    return ReadInt32At(TArrayOfByte(fixed, fixed + 8), 4);
}

constexpr int64_t kKeepDirectoryLength = 1;
constexpr int64_t kChangeDirectoryLength = 2;
constexpr int64_t kSameLength = 0;

// Alternates between a longer and the original content, so every replacement moves the
// tail one way or the other. range(0): kKeepDirectoryLength, a growth (from 4 KiB on) that
// leaves the compressed directory's length as it is, so only the tail moves;
// kChangeDirectoryLength, one that changes it, so the whole data area moves; kSameLength,
// the same content again, so nothing moves and only the stream and the header are
// rewritten. range(1): 1 with the journal; 0 without it and nothing flushed (the bare
// update); 2 without it but the archive flushed at the end, which shows what the journal
// adds to a durable update.
void Replacement(benchmark::State& state, int index) {
    const std::string entry = FileName(index);
    const TArrayOfByte original = FileContent(index);
    const TArrayOfByte extra = RandomBytes(4096 + 64, 2);
    int64_t growth = 0;
    if (state.range(0) == kKeepDirectoryLength) growth = GrowthKeepingTheDirectoryLength(index, original, extra);
    if (state.range(0) == kChangeDirectoryLength) growth = GrowthMovingTheDataArea(index, original, extra);
    if (growth < 0) {
        state.SkipWithError("no growth of that kind found");
        return;
    }
    TArrayOfByte longer = original;
    longer.insert(longer.end(), extra.begin(), extra.begin() + growth);

    const bool flush = state.range(1) == 2;
    const TJournalling journalling = state.range(1) == 1 ? TJournalling::Kept : TJournalling::Skipped;
    const int32_t headerBefore = HeaderSizeOfArchive();
    int headerChanges = 0;
    bool grow = true;
    for (auto _ : state) {
        if (!Replace(entry.c_str(), grow ? longer : original, journalling)) state.SkipWithError("replacement refused");
        if (flush) HostFile(Archive().Path(), HostFile::Mode::Read).Flush();
        grow = !grow;
        state.PauseTiming();
        if (HeaderSizeOfArchive() != headerBefore) ++headerChanges;
        state.ResumeTiming();
    }
    if (!grow) Replace(entry.c_str(), original, journalling);
    int64_t tail = 0;
    for (int i = index; i < kFileCount; ++i) tail += Archive().Sizes()[static_cast<size_t>(i)].packed;
    state.counters["tail_MiB"] = static_cast<double>(tail) / (1 << 20);
    state.counters["header_moved"] = headerChanges;
    state.counters["growth"] = static_cast<double>(growth);
}

void BM_ReplaceNearFront(benchmark::State& state) { Replacement(state, kFrontIndex); }
void BM_ReplaceNearEnd(benchmark::State& state) { Replacement(state, kEndIndex); }

// {kind of change, journal}
BENCHMARK(BM_ReplaceNearFront)
    ->ArgsProduct({{kKeepDirectoryLength, kChangeDirectoryLength, kSameLength}, {0, 2, 1}})
    ->ArgNames({"change", "journal"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(6);
BENCHMARK(BM_ReplaceNearEnd)
    ->ArgsProduct({{kKeepDirectoryLength, kChangeDirectoryLength, kSameLength}, {0, 2, 1}})
    ->ArgNames({"change", "journal"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);

// How often a replacement changes the compressed directory's length (and so moves the whole
// data area, journal included), in a directory like a game's: 40 folders of 25 files with
// sizes spread from 1 KB to 1 MB, one stream changing length by up to 4 KB either way.
void BM_ShareOfReplacementsThatMoveTheDataArea(benchmark::State& state) {
    std::mt19937 rng(5);
    constexpr int kFolders = 40;
    constexpr int kFilesPerFolder = 25;
    std::vector<int32_t> packed(kFolders * kFilesPerFolder);
    for (int32_t& size : packed) size = static_cast<int32_t>(1000 + rng() % 1000000);
    const auto directory = [&](const std::vector<int32_t>& sizes) {
        TArrayOfByte image;
        AppendInt32(kFolders, image);
        int32_t offset = 0;
        for (int f = 0; f < kFolders; ++f) {
            const std::string folder = "folder" + std::to_string(f);
            AppendInt32(static_cast<int32_t>(folder.size()), image);
            AppendTextToBytes(folder, image);
            AppendInt32(0, image);
            AppendInt32(kFilesPerFolder, image);
            for (int i = 0; i < kFilesPerFolder; ++i) {
                const std::string name = "texture_" + std::to_string(f * 100 + i) + ".dds";
                const int32_t size = sizes[static_cast<size_t>(f * kFilesPerFolder + i)];
                AppendInt32(static_cast<int32_t>(name.size()), image);
                AppendTextToBytes(name, image);
                AppendInt32(offset, image);
                AppendInt32(size, image);
                AppendInt32(size + size / 3, image);
                offset += size;
            }
        }
        AppendInt32(0, image);
        return image;
    };
    const int32_t length = CompressedLength(directory(packed));
    int64_t tries = 0;
    int64_t moved = 0;
    for (auto _ : state) {
        std::vector<int32_t> sizes = packed;
        const size_t target = rng() % sizes.size();
        const int32_t change = static_cast<int32_t>(rng() % 8192) - 4096;
        sizes[target] = std::max(8, sizes[target] + (change == 0 ? 1 : change));
        ++tries;
        if (CompressedLength(directory(sizes)) != length) ++moved;
    }
    state.counters["share_moved"] = static_cast<double>(moved) / static_cast<double>(tries);
}
BENCHMARK(BM_ShareOfReplacementsThatMoveTheDataArea)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
