// Listing a large archive: the header, the decompression of the directory and its walk into
// listing lines. The archive (100,000 files over 10 x 20 folders) is written once, directly:
// a directory image and level-9 streams, without the builder.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/reading/archive_reader.h"
#include "engine/reading/internal/archive_reader.h"
#include "support/bytes.h"
#include "support/host_file.h"
#include "support/paths.h"
#include "support/zlib_adapter.h"

namespace {

constexpr int kTopFolders = 10;
constexpr int kSubFolders = 20;
constexpr int kFilesPerFolder = 500;
constexpr int kEntries = kTopFolders * kSubFolders * kFilesPerFolder;

std::string archivePath;

void AppendName(const std::string& name, TArrayOfByte& directory) {
    AppendInt32(static_cast<int32_t>(name.size()), directory);
    AppendTextToBytes(name, directory);
}

std::string Numbered(const char* stem, int n, const char* ext) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%05d%s", stem, n, ext);
    return text;
}

// Every file holds the same short text, so one stream serves them all; each file record
// points at its own copy in the data area, as a builder would lay them out.
void WriteArchive(const std::string& path) {
    const std::string content = "A line of text that every file of the benchmark archive holds.\r\n";
    const TArrayOfByte stream = CompressBytes(content.data(), static_cast<int32_t>(content.size()));
    const int32_t packedSize = BufferLength(stream);

    TArrayOfByte directory;
    TArrayOfByte data;
    int32_t dataOffset = 0;
    AppendInt32(kTopFolders, directory);
    for (int top = 0; top < kTopFolders; ++top) {
        AppendName(Numbered("Region", top, ""), directory);
        AppendInt32(kSubFolders, directory);
        for (int sub = 0; sub < kSubFolders; ++sub) {
            AppendName(Numbered("Textures_", sub, ""), directory);
            AppendInt32(0, directory);
            AppendInt32(kFilesPerFolder, directory);
            for (int file = 0; file < kFilesPerFolder; ++file) {
                AppendName(Numbered("surface_", file, ".dds"), directory);
                AppendInt32(dataOffset, directory);
                AppendInt32(packedSize, directory);
                AppendInt32(static_cast<int32_t>(content.size()), directory);
                AppendBytes(stream.data(), packedSize, data);
                dataOffset += packedSize;
            }
        }
        AppendInt32(0, directory);
    }
    AppendInt32(0, directory);

    const TArrayOfByte packedDir = CompressBytes(directory.data(), BufferLength(directory));
    TArrayOfByte header;
    AppendInt32(BufferLength(directory), header);
    AppendInt32(8 + BufferLength(packedDir), header);

    HostFile file(path, HostFile::Mode::Create);
    file.Write(header.data(), BufferLength(header));
    file.Write(packedDir.data(), BufferLength(packedDir));
    file.Write(data.data(), BufferLength(data));
    file.Close();
}

void BM_ListArchive(benchmark::State& state) {
    for (auto _ : state) {
        TStringList listing;
        const bool ok = ExtractArchive({.archivePath = archivePath, .listing = &listing}).ok;
        if (!ok || listing.size() != kEntries) {
            state.SkipWithError("the archive did not list");
            break;
        }
        benchmark::DoNotOptimize(listing.data());
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_ListArchive)->Unit(benchmark::kMillisecond);

// The share of the header and the decompression of the directory alone.
void BM_ReadArchiveHeader(benchmark::State& state) {
    HostFile file(archivePath, HostFile::Mode::Read);
    for (auto _ : state) {
        Veldane_PAK_HeaderType header;
        TArrayOfByte directory;
        if (!ReadArchiveHeader(false, file, header, directory)) {
            state.SkipWithError("the header did not read");
            break;
        }
        benchmark::DoNotOptimize(directory.data());
    }
}
BENCHMARK(BM_ReadArchiveHeader)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    std::string dir = (std::filesystem::temp_directory_path() / "vpak-bench-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    archivePath = dir + "/list_bench.pak";
    WriteArchive(archivePath);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}
