// Replacing one file near the front of a large archive: every byte behind the stream moves.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "engine/updating/internal/archive_update.h"
#include "support/bytes.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/paths.h"
#include "support/zlib_adapter.h"

namespace {

constexpr int kFileCount = 300;
constexpr int32_t kFileSize = 1 << 20;  // 1 MiB of random bytes each: about 300 MiB on disk
constexpr const char* kTargetName = "f001";

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

// One archive of incompressible streams, written once for every benchmark and removed at exit.
// Every file holds the same content, so it is compressed once and written kFileCount times.
class LargeArchive {
public:
    LargeArchive() : content_(RandomBytes(kFileSize, 1)) {
        std::string pattern = (std::filesystem::temp_directory_path() / "vpak-replace-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        dir_ = pattern;
        path_ = dir_ + "/large.pak";

        const TArrayOfByte stream = CompressBytes(content_.data(), BufferLength(content_));
        TArrayOfByte directory;
        AppendInt32(0, directory);  // no folders
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

bool Replace(const TArrayOfByte& content) {
    TReplacementData data;
    data.Valid = 1;
    data.Data = content.data();
    data.UnpackedSize = BufferLength(content);
    data.DataSize = BufferLength(content);
    return ReplaceEntryData(false, Archive().Path(), kTargetName, false, &data);
}

// Alternates between a longer and the original content, so every replacement moves the
// whole tail (about 298 MiB) one way or the other.
void BM_ReplaceNearFrontMovesTheTail(benchmark::State& state) {
    const TArrayOfByte& original = Archive().Content();
    TArrayOfByte longer = original;
    const TArrayOfByte extra = RandomBytes(static_cast<size_t>(state.range(0)), 2);
    longer.insert(longer.end(), extra.begin(), extra.end());
    const int64_t tail = host::Stat(Archive().Path()).size - 2 * static_cast<int64_t>(kFileSize);
    bool grow = true;
    for (auto _ : state) {
        if (!Replace(grow ? longer : original)) state.SkipWithError("replacement refused");
        grow = !grow;
    }
    if (!grow) Replace(original);
    state.SetBytesProcessed(state.iterations() * tail);
}
BENCHMARK(BM_ReplaceNearFrontMovesTheTail)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// The same content again: the stream keeps its length and nothing moves.
void BM_ReplaceNearFrontSameLength(benchmark::State& state) {
    const TArrayOfByte& original = Archive().Content();
    for (auto _ : state)
        if (!Replace(original)) state.SkipWithError("replacement refused");
}
BENCHMARK(BM_ReplaceNearFrontSameLength)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

}  // namespace

BENCHMARK_MAIN();
