// What the rollback journal costs: one replacement near the front and one near the end of a
// 300 MiB archive, each with the journal (saved bytes written and flushed, archive flushed)
// and without it (the bare in-place update, nothing flushed).
//
// The archive lies in the system's temporary directory (TMPDIR); put that on the disk to be
// measured. Arguments: bytes by which the stream grows (0: same length, nothing moves).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "engine/archive_update.h"
#include "engine/update_journal.h"
#include "support/bytes.h"
#include "support/host.h"
#include "support/paths.h"
#include "support/zlib_adapter.h"

namespace {

constexpr int kFileCount = 300;
constexpr int32_t kFileSize = 1 << 20;  // 1 MiB of random bytes each: about 300 MiB on disk
constexpr const char* kFrontName = "f001";
constexpr const char* kEndName = "f298";

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

// One archive of incompressible streams in the builder's layout, written once and removed
// at exit. Every file holds the same content, compressed once.
class LargeArchive {
public:
    LargeArchive() : content_(RandomBytes(kFileSize, 1)) {
        std::string pattern = (std::filesystem::temp_directory_path() / "vpak-journal-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        dir_ = pattern;
        path_ = dir_ + "/large.pak";

        const TArrayOfByte stream = CompressBytes(content_.data(), BufferLength(content_));
        TArrayOfByte directory;
        AppendInt32(0, directory);
        AppendInt32(kFileCount, directory);
        for (int i = 0; i < kFileCount; ++i) {
            const std::string name = FileName(i);
            AppendInt32(static_cast<int32_t>(name.size()), directory);
            AppendTextToBytes(name, directory);
            AppendInt32(i * BufferLength(stream), directory);
            AppendInt32(BufferLength(stream), directory);
            AppendInt32(kFileSize, directory);
        }
        const TArrayOfByte packedDir = CompressBytes(directory.data(), BufferLength(directory));
        TArrayOfByte header;
        AppendInt32(BufferLength(directory), header);
        AppendInt32(BufferLength(packedDir) + 8, header);

        HostFile file(path_, HostFile::Mode::Create);
        file.Write(header.data(), BufferLength(header));
        file.Write(packedDir.data(), BufferLength(packedDir));
        for (int i = 0; i < kFileCount; ++i) file.Write(stream.data(), BufferLength(stream));
        file.Flush();
        file.Close();
    }
    ~LargeArchive() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    const std::string& Path() const { return path_; }
    const TArrayOfByte& Content() const { return content_; }

private:
    TArrayOfByte content_;
    std::string dir_;
    std::string path_;
};

LargeArchive& Archive() {
    static LargeArchive archive;
    return archive;
}

bool Replace(const char* entry, const TArrayOfByte& content) {
    TReplacementData data;
    data.Valid = 1;
    data.Data = content.data();
    data.UnpackedSize = BufferLength(content);
    data.DataSize = BufferLength(content);
    return ReplaceEntryData(false, Archive().Path(), entry, false, &data);
}

int32_t HeaderSizeOfArchive() {
    HostFile file(Archive().Path(), HostFile::Mode::Read);
    uint8_t fixed[8];
    file.ReadExact(fixed, 8);
    return ReadInt32At(TArrayOfByte(fixed, fixed + 8), 4);
}

constexpr int64_t kKeepDirectoryLength = -1;

// The smallest growth of the entry's stream from 4096 bytes on after which the compressed
// directory keeps its length, so that only the tail behind the stream moves.
int64_t GrowthKeepingTheDirectoryLength(const char* entry) {
    const TArrayOfByte& original = Archive().Content();
    const int32_t headerSize = HeaderSizeOfArchive();
    const TArrayOfByte extra = RandomBytes(8192, 2);
    for (int64_t growth = 4096; growth < 8192; ++growth) {
        TArrayOfByte longer = original;
        longer.insert(longer.end(), extra.begin(), extra.begin() + growth);
        Replace(entry, longer);
        const bool kept = HeaderSizeOfArchive() == headerSize;
        Replace(entry, original);
        if (kept) return growth;
    }
    return 4096;
}

// Alternates between a longer and the original content (range(0) bytes longer), so every
// replacement moves the tail one way or the other; with range(0) 0 the stream keeps its
// length and only it and the header are rewritten. range(1): 1 with the journal; 0 without
// it and nothing flushed (the bare update); 2 without it but the archive flushed at the end,
// which shows what the journal adds to a durable update.
void Replacement(benchmark::State& state, const char* entry, int index) {
    const TArrayOfByte& original = Archive().Content();
    const bool journal = state.range(1) == 1;
    SetUpdateJournalEnabled(false);
    const int64_t growth = state.range(0) == kKeepDirectoryLength ? GrowthKeepingTheDirectoryLength(entry) : state.range(0);
    TArrayOfByte longer = original;
    const TArrayOfByte extra = RandomBytes(8192, 2);
    longer.insert(longer.end(), extra.begin(), extra.begin() + growth);
    const bool flush = state.range(1) == 2;
    SetUpdateJournalEnabled(journal);
    const int32_t headerBefore = HeaderSizeOfArchive();
    int headerChanges = 0;
    bool grow = true;
    for (auto _ : state) {
        if (!Replace(entry, grow ? longer : original)) state.SkipWithError("replacement refused");
        if (flush) HostFile(Archive().Path(), HostFile::Mode::Read).Flush();
        grow = !grow;
        state.PauseTiming();
        if (HeaderSizeOfArchive() != headerBefore) ++headerChanges;
        state.ResumeTiming();
    }
    if (!grow) Replace(entry, original);
    SetUpdateJournalEnabled(true);
    const int64_t size = host::Stat(Archive().Path()).size;
    const int64_t streamLength = size / kFileCount;
    state.counters["tail_MiB"] = static_cast<double>(size - index * streamLength) / (1 << 20);
    state.counters["header_moved"] = headerChanges;
    state.counters["growth"] = static_cast<double>(growth);
}

void BM_ReplaceNearFront(benchmark::State& state) { Replacement(state, kFrontName, 1); }
void BM_ReplaceNearEnd(benchmark::State& state) { Replacement(state, kEndName, 298); }

// {growth in bytes (-1: the directory keeps its length), journal}
BENCHMARK(BM_ReplaceNearFront)
    ->ArgsProduct({{kKeepDirectoryLength, 4096, 0}, {0, 2, 1}})
    ->ArgNames({"grow", "journal"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(6);
BENCHMARK(BM_ReplaceNearEnd)
    ->ArgsProduct({{kKeepDirectoryLength, 4096, 0}, {0, 2, 1}})
    ->ArgNames({"grow", "journal"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
