// Building an archive of a generated tree (a few thousand files, a few hundred MB of mixed
// content), beside `zip -9 -r` of the same tree as a yardstick: both compress every file
// with deflate at its best level, one file after the other.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/building/archive_builder.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFileCount = 3000;
constexpr int kTopFolders = 12;
constexpr int kSubFolders = 4;
constexpr double kSmallestFile = 512;
constexpr double kLargestFile = 600000;

const char* const kWords[] = {"the",    "sword",  "of",      "Veldane", "lies",   "beneath", "a",     "tower",
                              "where",  "ravens", "gather",  "and",     "torches", "flicker", "quest", "begins",
                              "player", "opens",  "ancient", "door",    "gold",   "coins",   "map",   "north"};

// Three kinds of content that archives of a game hold: already-compressed media (random
// bytes), text and scripts, and tables of fixed-size records.
std::string RandomBytes(std::mt19937_64& random, size_t size) {
    std::string content(size, '\0');
    for (size_t k = 0; k < size; k += 8) {
        const uint64_t word = random();
        for (size_t b = 0; b < 8 && k + b < size; ++b) content[k + b] = static_cast<char>(word >> (8 * b));
    }
    return content;
}

std::string Text(std::mt19937_64& random, size_t size) {
    std::string content;
    content.reserve(size + 16);
    while (content.size() < size) {
        content += kWords[random() % std::size(kWords)];
        content += (random() % 12 == 0) ? "\r\n" : " ";
    }
    content.resize(size);
    return content;
}

std::string Records(std::mt19937_64& random, size_t size) {
    std::string content;
    content.reserve(size + 16);
    for (uint32_t id = 0; content.size() < size; ++id) {
        const uint32_t fields[4] = {id, id * 3 + 17, static_cast<uint32_t>(random() % 1000), 0xFFFF0000u};
        content.append(reinterpret_cast<const char*>(fields), sizeof fields);
    }
    content.resize(size);
    return content;
}

// The generated tree, made once for all benchmarks and removed at exit.
class BenchTree {
public:
    BenchTree() {
        std::string pattern = (fs::temp_directory_path() / "vpak-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        base_ = pattern;
        source_ = base_ / "tree";
        Generate();
    }
    ~BenchTree() {
        std::error_code ignored;
        fs::remove_all(base_, ignored);
    }

    const fs::path& Base() const { return base_; }
    const fs::path& Source() const { return source_; }
    int64_t Bytes() const { return bytes_; }

private:
    void Generate() {
        std::mt19937_64 random(20240607);
        std::vector<fs::path> folders;
        for (int t = 0; t < kTopFolders; ++t) {
            const fs::path top = source_ / ("Folder" + std::to_string(t));
            folders.push_back(top);
            for (int s = 0; s < kSubFolders; ++s) folders.push_back(top / ("sub" + std::to_string(s)) / "data");
        }
        for (const fs::path& folder : folders) fs::create_directories(folder);
        std::uniform_real_distribution<double> logSize(std::log(kSmallestFile), std::log(kLargestFile));
        for (int k = 0; k < kFileCount; ++k) {
            const size_t size = static_cast<size_t>(std::exp(logSize(random)));
            std::string content;
            std::string extension;
            switch (k % 3) {
                case 0: content = RandomBytes(random, size); extension = ".ogg"; break;
                case 1: content = Text(random, size); extension = ".txt"; break;
                default: content = Records(random, size); extension = ".dat"; break;
            }
            const fs::path path = folders[random() % folders.size()] / ("file" + std::to_string(k) + extension);
            std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
            bytes_ += static_cast<int64_t>(size);
        }
    }

    fs::path base_;
    fs::path source_;
    int64_t bytes_ = 0;
};

BenchTree& Tree() {
    static BenchTree tree;
    return tree;
}

void ReportSizes(benchmark::State& state, const fs::path& archive) {
    const double archiveBytes = static_cast<double>(fs::file_size(archive));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Tree().Bytes());
    state.counters["input_MB"] = static_cast<double>(Tree().Bytes()) / 1e6;
    state.counters["archive_MB"] = archiveBytes / 1e6;
    state.counters["ratio"] = archiveBytes / static_cast<double>(Tree().Bytes());
}

void BM_MakeArchive(benchmark::State& state) {
    const fs::path archive = Tree().Base() / "tree.pak";
    for (auto _ : state) {
        const TMakeResult made = MakeArchive(
            {.sourceDir = Tree().Source().string(), .archivePath = archive.string(), .convertLoc = false});
        if (!made.ok || made.fileCount != kFileCount) state.SkipWithError("the build failed");
    }
    ReportSizes(state, archive);
}

// CPU seconds used by finished child processes so far: zip's work is not this process's.
double ChildCpuSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_Zip9Recursive(benchmark::State& state) {
    const fs::path archive = Tree().Base() / "tree.zip";
    const std::string command = "cd '" + Tree().Source().string() + "' && zip -9 -r -q '" + archive.string() + "' .";
    const double cpuBefore = ChildCpuSeconds();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(archive);  // zip would otherwise update the archive instead of building it
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) state.SkipWithError("zip failed (is it installed?)");
    }
    if (fs::exists(archive)) ReportSizes(state, archive);
    state.counters["zip_cpu_s"] =
        benchmark::Counter(ChildCpuSeconds() - cpuBefore, benchmark::Counter::kAvgIterations);
}

}  // namespace

BENCHMARK(BM_MakeArchive)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Zip9Recursive)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();
