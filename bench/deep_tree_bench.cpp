// Extracting archives that are all folders: chains of nested folders with one file at the
// bottom of each. A few hundred bytes of archive ask for thousands of folders; the time must
// grow with the number of folders, not with its square (each folder entered from its
// parent's descriptor, once), whatever the depth.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "crafted_archive.h"
#include "engine/reading/archive_reader.h"
#include "support/host_entries.h"
#include "support/private_folder.h"
#include "support/zlib_adapter.h"

namespace fs = std::filesystem;

namespace {

// chains folders at the root, each the top of a chain depth folders deep holding one file.
void WriteChains(const fs::path& path, int chains, int depth) {
    const std::string content = "bottom";
    const TArrayOfByte stream = CompressBytes(content.data(), static_cast<int32_t>(content.size()));
    std::string directory;
    PutInt(directory, chains);
    for (int c = 0; c < chains; ++c) {
        PutName(directory, "c" + std::to_string(c));
        for (int level = 1; level < depth; ++level) {
            PutInt(directory, 1);
            PutName(directory, "d");
        }
        PutInt(directory, 0);
        PutInt(directory, 1);
        PutName(directory, "f.txt");
        PutInt(directory, 0);  // every record shares the one stream
        PutInt(directory, static_cast<int32_t>(stream.size()));
        PutInt(directory, static_cast<int32_t>(content.size()));
        for (int level = 1; level < depth; ++level) PutInt(directory, 0);
    }
    PutInt(directory, 0);
    WriteCraftedArchive(path, directory, stream);
}

// Removes a folder tree of any depth: std::filesystem::remove_all holds a descriptor per
// level, and runs out of them in a chain 40,000 folders deep.
void RemoveTree(const fs::path& path) {
    const host::EntryInfo info = host::StatNoFollow(path.string());
    if (info.kind != host::EntryKind::Directory) return;
    const int parent = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string problem;
    host::RemoveFolderTreeAt(parent, path.filename().string(), info.identity, path.string(), problem);
    ::close(parent);
}

void BM_ExtractFolderChains(benchmark::State& state) {
    const int chains = static_cast<int>(state.range(0));
    const int depth = static_cast<int>(state.range(1));
    const fs::path root = fs::temp_directory_path() / "vpak-deep-tree-bench";
    RemoveTree(root);
    fs::create_directories(root);
    WriteChains(root / "chains.pak", chains, depth);
    int run = 0;
    for (auto _ : state) {
        const fs::path target = root / ("out" + std::to_string(run++));
        fs::create_directories(target);
        TStringList listing;
        if (!ExtractArchive({.archivePath = (root / "chains.pak").string(), .targetDir = target.string(), .convertLoc = false, .listing = &listing}).ok)
            state.SkipWithError("extraction failed");
        state.PauseTiming();
        RemoveTree(target);
        state.ResumeTiming();
    }
    state.counters["folders"] = static_cast<double>(chains) * depth;
    state.counters["archive_bytes"] = static_cast<double>(fs::file_size(root / "chains.pak"));
    RemoveTree(root);
}

}  // namespace

// One chain ever deeper, then the same number of folders as many chains. The deepest runs
// show whether a step down costs the same at every depth (40,000 deep: the time of 10,000
// four times over, not sixteen).
BENCHMARK(BM_ExtractFolderChains)
    ->Args({1, 1000})
    ->Args({1, 2000})
    ->Args({1, 4000})
    ->Args({10, 2000})
    ->Args({1, 10000})
    ->Args({1, 40000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

BENCHMARK_MAIN();
