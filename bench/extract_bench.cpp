// Extracting an archive of a few thousand files and a few hundred MB, built once from a
// generated tree. Each iteration extracts into a fresh directory, as a user would.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "engine/building/archive_builder.h"
#include "engine/reading/archive_reader.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFileCount = 3000;
constexpr int kFolders = 40;
constexpr size_t kLargestFile = 250000;

// Half of the files are incompressible media, half repetitive text: about 370 MB in all.
std::string Content(std::mt19937_64& random, size_t size, bool media) {
    std::string content(size, '\0');
    for (size_t k = 0; k < size; ++k)
        content[k] = media ? static_cast<char>(random()) : "Veldane quest log, entry "[k % 25];
    return content;
}

struct Fixture {
    fs::path root = fs::temp_directory_path() / "vpak-extract-bench";
    fs::path archive = root / "bench.pak";
    int64_t bytes = 0;

    Fixture() {
        fs::remove_all(root);
        std::mt19937_64 random(7);
        for (int i = 0; i < kFileCount; ++i) {
            const fs::path folder = root / "tree" / ("d" + std::to_string(i % kFolders));
            fs::create_directories(folder);
            const size_t size = random() % kLargestFile;
            std::ofstream(folder / ("f" + std::to_string(i) + ".bin"), std::ios::binary)
                << Content(random, size, i % 2 == 0);
            bytes += static_cast<int64_t>(size);
        }
        MakeArchive({.sourceDir = (root / "tree").string(), .archivePath = archive.string(), .convertLoc = false});
        fs::remove_all(root / "tree");
    }
    ~Fixture() { fs::remove_all(root); }
};

void BM_ExtractArchive(benchmark::State& state) {
    static Fixture fixture;
    int run = 0;
    for (auto _ : state) {
        const fs::path target = fixture.root / ("out" + std::to_string(run++));
        fs::create_directories(target);
        TStringList listing;
        const bool ok = ExtractArchive({.archivePath = fixture.archive.string(), .targetDir = target.string(), .convertLoc = false, .listing = &listing}).ok;
        if (!ok) state.SkipWithError("extraction failed");
        state.PauseTiming();
        fs::remove_all(target);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * fixture.bytes);
    state.counters["files"] = kFileCount;
}

}  // namespace

BENCHMARK(BM_ExtractArchive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
