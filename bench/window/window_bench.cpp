// The window's extraction against the command line's for the same archive: the window pays
// for its status line and its event processing, and must stay within a fifth of the command
// line's time. And the window opening archives of 100,000 and of 1,000,000 entries: reading
// the directory and filling the contents tree, as picking it with "..." does (the second
// within 3 s and 600 MB in a Release build). Runs on Qt's offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "../crafted_archive.h"
#include "../peak_memory.h"
#include "engine/building/archive_builder.h"
#include "engine/reading/archive_reader.h"
#include "ui/contents_tree.h"
#include "ui/main_window.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFileCount = 20000;

// Dialogs that answer nothing: the benchmark's targets are always new, empty folders.
class TSilentDialogs : public TDialogs {
public:
    bool ExecuteOpenDialog(QWidget*, TOpenDialogState&) override { return false; }
    bool BrowseForFolder(QWidget*, const std::string&, const std::string&, std::string&) override { return false; }
    bool Confirm(QWidget*, const std::string&) override { return true; }
    void ShowAbout(QWidget*, const std::string&, const std::string&) override {}
    void ShowError(QWidget*, const std::string&, const std::string&) override {}
    void ShowWarning(QWidget*, const std::string&, const std::string&) override {}
};

struct Fixture {
    fs::path root = fs::temp_directory_path() / "vpak-window-bench";
    fs::path archive = root / "many.pak";

    Fixture() {
        fs::remove_all(root);
        std::mt19937 random(5);
        for (int i = 0; i < kFileCount; ++i) {
            const fs::path folder = root / "tree" / ("d" + std::to_string(i % 100));
            fs::create_directories(folder);
            std::string content(random() % 2000, 'x');
            for (char& c : content) c = static_cast<char>(random());
            FILE* out = std::fopen((folder / ("f" + std::to_string(i))).c_str(), "wb");
            std::fwrite(content.data(), 1, content.size(), out);
            std::fclose(out);
        }
        MakeArchive({.sourceDir = (root / "tree").string(), .archivePath = archive.string(), .convertLoc = false});
        fs::remove_all(root / "tree");
    }
    ~Fixture() { fs::remove_all(root); }
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

void ClearTarget(benchmark::State& state, const fs::path& target) {
    state.PauseTiming();
    fs::remove_all(target);
    state.ResumeTiming();
}

// What vpak extract does: the engine with a callback that only keeps the count and checks for
// Ctrl+C.
void BM_ExtractAsTheCommandLine(benchmark::State& state) {
    Fixture& fixture = TheFixture();
    const fs::path target = fixture.root / "out";
    for (auto _ : state) {
        fs::create_directories(target);
        int64_t done = 0;
        ExtractArchive({.archivePath = fixture.archive.string(),
                        .targetDir = target.string(),
                        .convertLoc = false,
                        .progress = [&done](const TProgress& progress) {
                            if (progress.HasPosition()) done = progress.done;
                        }});
        ClearTarget(state, target);
    }
    state.counters["files"] = kFileCount;
}

void BM_ExtractAsTheWindow(benchmark::State& state) {
    Fixture& fixture = TheFixture();
    const fs::path target = fixture.root / "out";
    TFormServices services;
    services.Dialogs = std::make_unique<TSilentDialogs>();
    services.SettingsFile = (fixture.root / "vpak-gui.ini").string();
    TForm1 form(std::move(services));
    form.show();
    form.findChild<QLineEdit*>("Edit1")->setText(QString::fromStdString(fixture.archive.string()));
    form.findChild<QLineEdit*>("Edit2")->setText(QString::fromStdString(target.string()));
    for (auto _ : state) {
        form.findChild<QPushButton*>("Button_XtractAll")->click();
        if (!form.windowTitle().startsWith("O.K.")) state.SkipWithError("the extraction failed");
        ClearTarget(state, target);
    }
    state.counters["files"] = kFileCount;
}

// An archive of 100 folders of 1,000 small files each.
struct ManyEntries {
    static constexpr int kFolders = 100;
    static constexpr int kFilesPerFolder = 1000;
    fs::path root = fs::temp_directory_path() / "vpak-window-bench-many";
    fs::path archive = root / "many.pak";

    ManyEntries() {
        fs::remove_all(root);
        for (int d = 0; d < kFolders; ++d) {
            const fs::path folder = root / "tree" / ("folder" + std::to_string(d));
            fs::create_directories(folder);
            for (int f = 0; f < kFilesPerFolder; ++f) {
                FILE* out = std::fopen((folder / ("entry-" + std::to_string(f) + ".txt")).c_str(), "wb");
                std::fputs("x", out);
                std::fclose(out);
            }
        }
        MakeArchive({.sourceDir = (root / "tree").string(), .archivePath = archive.string(), .convertLoc = false});
        fs::remove_all(root / "tree");
    }
    ~ManyEntries() { fs::remove_all(root); }
};

// Made once for every benchmark that opens it.
const ManyEntries& Many() {
    static const ManyEntries many;
    return many;
}

// An archive of 1,000 folders of 1,000 small files each, every file with a stream of its own,
// written as bytes: a million files on disk would take longer to make than the benchmark runs.
struct MillionEntries {
    static constexpr int kFolders = 1000;
    static constexpr int kFilesPerFolder = 1000;
    fs::path root = fs::temp_directory_path() / "vpak-window-bench-million";
    fs::path archive = root / "million.pak";

    MillionEntries() {
        fs::remove_all(root);
        fs::create_directories(root);
        const TArrayOfByte one = CompressBytes("x", 1);
        std::string directory;
        PutInt(directory, kFolders);
        TArrayOfByte streams;
        streams.reserve(one.size() * kFolders * kFilesPerFolder);
        for (int d = 0; d < kFolders; ++d) {
            PutName(directory, "folder" + std::to_string(d));
            PutInt(directory, 0);
            PutInt(directory, kFilesPerFolder);
            for (int f = 0; f < kFilesPerFolder; ++f) {
                PutName(directory, "entry-" + std::to_string(f) + ".txt");
                PutInt(directory, static_cast<int32_t>(streams.size()));
                PutInt(directory, static_cast<int32_t>(one.size()));
                PutInt(directory, 1);
                streams.insert(streams.end(), one.begin(), one.end());
            }
        }
        PutInt(directory, 0);
        WriteCraftedArchive(archive, directory, streams);
    }
    ~MillionEntries() { fs::remove_all(root); }
};



// A window with silent dialogs and its settings file in folder, shown; with details, the
// contents tree shows its Details view (Size, Packed and Ratio).
std::unique_ptr<TForm1> ShownForm(const fs::path& folder, bool details = false) {
    if (details) {
        FILE* settings = std::fopen((folder / "vpak-gui.ini").c_str(), "wb");
        std::fputs("[View]\nDetails=1\n", settings);
        std::fclose(settings);
    }
    TFormServices services;
    services.Dialogs = std::make_unique<TSilentDialogs>();
    services.SettingsFile = (folder / "vpak-gui.ini").string();
    auto form = std::make_unique<TForm1>(std::move(services));
    form->show();
    return form;
}

void BM_OpenArchiveOf100000Entries(benchmark::State& state) {
    const ManyEntries& many = Many();
    const std::unique_ptr<TForm1> shown = ShownForm(many.root);
    TForm1& form = *shown;
    for (auto _ : state) {
        form.OpenGivenArchive(many.archive.string());
        if (!form.windowTitle().startsWith("O.K.")) state.SkipWithError("the archive did not open");
    }
    state.counters["entries"] = ManyEntries::kFolders * ManyEntries::kFilesPerFolder;
}

// The peak counts the window, its tree of a million nodes, and the index they share.
void BM_OpenArchiveOf1000000Entries(benchmark::State& state) {
    const MillionEntries million;
    const std::unique_ptr<TForm1> shown = ShownForm(million.root);
    TForm1& form = *shown;
    ResetPeakMemory();
    const double before = PeakMemoryMb();
    for (auto _ : state) {
        form.OpenGivenArchive(million.archive.string());
        if (!form.windowTitle().startsWith("O.K.")) state.SkipWithError("the archive did not open");
    }
    state.counters["entries"] = MillionEntries::kFolders * MillionEntries::kFilesPerFolder;
    state.counters["peak_rss_mb"] = PeakMemoryMb();
    state.counters["rss_at_start_mb"] = before;
}

// The same with the Details view on, and one sort of the tree by its Size column, as a click
// on the column's header asks.
void BM_OpenArchiveOf1000000EntriesWithDetails(benchmark::State& state) {
    const MillionEntries million;
    const std::unique_ptr<TForm1> shown = ShownForm(million.root, true);
    TForm1& form = *shown;
    auto* tree = form.findChild<TContentsTree*>("ContentsTree");
    ResetPeakMemory();
    double sortMs = 0;
    for (auto _ : state) {
        form.OpenGivenArchive(million.archive.string());
        QApplication::processEvents();
        if (!form.windowTitle().startsWith("O.K.")) state.SkipWithError("the archive did not open");
        state.PauseTiming();
        const auto start = std::chrono::steady_clock::now();
        emit tree->header()->sectionClicked(TTreeColumns::kSize);
        QApplication::processEvents();
        sortMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        state.ResumeTiming();
    }
    state.counters["entries"] = MillionEntries::kFolders * MillionEntries::kFilesPerFolder;
    state.counters["peak_rss_mb"] = PeakMemoryMb();
    state.counters["sort_by_size_ms"] = sortMs;
}

// One round of filtering the opened tree as a person types: a text that keeps one file in
// ninety (most rows of every folder hidden), one that keeps a few folders whole, and the
// empty text that shows the tree as it was. Each step includes the tree's layout.
void BM_FilterTreeOf100000Entries(benchmark::State& state) {
    const ManyEntries& many = Many();
    const std::unique_ptr<TForm1> shown = ShownForm(many.root);
    TForm1& form = *shown;
    form.OpenGivenArchive(many.archive.string());
    auto* tree = form.findChild<TContentsTree*>("ContentsTree");
    if (tree == nullptr || !form.windowTitle().startsWith("O.K.")) state.SkipWithError("the archive did not open");
    double slowestMs = 0;
    for (auto _ : state) {
        for (const char* text : {"entry-12", "folder7", ""}) {
            const auto start = std::chrono::steady_clock::now();
            tree->SetFilter(QString::fromLatin1(text));
            QApplication::processEvents();
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            slowestMs = std::max(slowestMs, took.count());
        }
    }
    state.counters["slowest_text_ms"] = slowestMs;
}

}  // namespace

BENCHMARK(BM_OpenArchiveOf100000Entries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OpenArchiveOf1000000Entries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_OpenArchiveOf1000000EntriesWithDetails)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FilterTreeOf100000Entries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ExtractAsTheCommandLine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ExtractAsTheWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
