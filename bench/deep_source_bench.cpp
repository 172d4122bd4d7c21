// Chains of nested folders with a file at every level, as host trees and as archives: make,
// diff and add must take time and memory in proportion to the number of folders, not to
// its square, however deep the chain (a path to its bottom may be longer than PATH_MAX).
// peak_rss_mb is the process's peak resident memory during the timed runs, reset before
// them (/proc/self/clear_refs). The files of a chain of archive entries are listed with
// their paths, which alone grows with the square of the depth.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "crafted_archive.h"
#include "peak_memory.h"
#include "engine/building/archive_builder.h"
#include "engine/editing/archive_diff.h"
#include "engine/editing/archive_edit.h"
#include "engine/editing/edit_counts.h"
#include "support/zlib_adapter.h"

namespace fs = std::filesystem;

namespace {

const fs::path kRoot = fs::temp_directory_path() / "vpak-deep-source-bench";



// root/d/d/... depth folders deep, the file f<k>.txt at every level k, made by descriptor.
void MakeChain(const fs::path& root, int depth) {
    fs::create_directories(root);
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level <= depth && fd >= 0; ++level) {
        const std::string name = "f" + std::to_string(level) + ".txt";
        const int file = ::openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (file < 0 || ::write(file, name.data(), name.size()) < 0) throw std::runtime_error("cannot write");
        ::close(file);
        if (level == depth) break;
        ::mkdirat(fd, "d", 0755);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    if (fd >= 0) ::close(fd);
}

// Moves the chain's folders one level up at a time until no path in it is too long, so that
// remove_all can take the rest.
void RemoveChain(const fs::path& root) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int level = 0;
    while (fd >= 0) {
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (next < 0) break;
        // Every 500 levels the rest of the chain is lifted to the root under a name of its own.
        if (++level % 500 == 0) ::renameat(fd, "d", AT_FDCWD, (root.string() + "-" + std::to_string(level)).c_str());
        ::close(fd);
        fd = next;
    }
    if (fd >= 0) ::close(fd);
    for (int k = level - level % 500; k >= 500; k -= 500) fs::remove_all(root.string() + "-" + std::to_string(k));
    fs::remove_all(root);
}

// The archive of such a chain, every file sharing one stream.
void WriteChainArchive(const fs::path& path, int depth) {
    const std::string content = "content";
    const TArrayOfByte stream = CompressBytes(content.data(), static_cast<int32_t>(content.size()));
    std::string directory;
    for (int level = 0; level < depth; ++level) {
        PutInt(directory, 1);
        PutName(directory, "d");
    }
    PutInt(directory, 0);
    for (int level = depth; level >= 0; --level) {
        PutInt(directory, 1);
        PutName(directory, "f" + std::to_string(level) + ".txt");
        PutInt(directory, 0);
        PutInt(directory, static_cast<int32_t>(stream.size()));
        PutInt(directory, static_cast<int32_t>(content.size()));
    }
    WriteCraftedArchive(path, directory, stream);
}

void BM_AddToDeepArchive(benchmark::State& state) {
    const int depth = static_cast<int>(state.range(0));
    fs::remove_all(kRoot);
    fs::create_directories(kRoot);
    const fs::path pristine = kRoot / "chain.pak";
    const fs::path archive = kRoot / "edited.pak";
    WriteChainArchive(pristine, depth);
    std::ofstream(kRoot / "new.txt") << "new";
    ResetPeakMemory();
    for (auto _ : state) {
        state.PauseTiming();
        fs::copy_file(pristine, archive, fs::copy_options::overwrite_existing);
        state.ResumeTiming();
        if (!AddToArchive({false, archive.string(), {(kRoot / "new.txt").string()}, "", true, {}, nullptr}).ok)
            state.SkipWithError("add failed");
    }
    state.counters["peak_rss_mb"] = PeakMemoryMb();
    state.counters["archive_bytes"] = static_cast<double>(fs::file_size(pristine));
    fs::remove_all(kRoot);
}

void BM_MakeAndDiffDeepTree(benchmark::State& state) {
    const int depth = static_cast<int>(state.range(0));
    fs::remove_all(kRoot);
    const fs::path tree = kRoot / "tree";
    const fs::path archive = kRoot / "made.pak";
    MakeChain(tree, depth);
    ResetPeakMemory();
    for (auto _ : state) {
        if (!MakeArchive({.sourceDir = tree.string(), .archivePath = archive.string()}).ok)
            state.SkipWithError("make failed");
        const TArchiveDiffResult compared =
            DiffArchiveWithFolder({false, archive.string(), tree.string(), true, {}, nullptr});
        if (!compared.ok || !compared.diff.differences.empty())
            state.SkipWithError("diff found differences");
    }
    state.counters["peak_rss_mb"] = PeakMemoryMb();
    RemoveChain(tree);
    fs::remove_all(kRoot);
}

}  // namespace

BENCHMARK(BM_AddToDeepArchive)->Arg(2500)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_MakeAndDiffDeepTree)->Arg(2500)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

BENCHMARK_MAIN();
