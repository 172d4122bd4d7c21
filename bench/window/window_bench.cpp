// The window's extraction against the command line's for the same archive: the window pays
// for its status line and its event processing, and must stay within a fifth of the command
// line's time. And the window opening archives of 100,000 and of 1,000,000 entries: reading
// the directory and filling the contents tree, as picking it with "..." does (the second
// within 3 s and 600 MB in a Release build). And the preview pane: the first screen of a 100 MB
// text entry, and the event loop while the selection moves through 1,000 entries at 30 a
// second. And a file changed in its program put back into a 400 MB PC archive by the window,
// against the replacement `vpak replace` makes (within 1.2 times its time). Runs on Qt's
// offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <fstream>
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
#include "engine/updating/archive_update.h"
#include "ui/contents_tree.h"
#include "ui/main_window.h"
#include "ui/preview_pane.h"

#include <QElapsedTimer>
#include <QTimer>
#include "ui/opened_entries.h"
#include "ui/ui_texts.h"

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

// Text lines of about 60 bytes, each different, n bytes in all.
TArrayOfByte TextLines(int64_t n) {
    TArrayOfByte text;
    text.reserve(static_cast<size_t>(n));
    for (int64_t line = 0; BufferLength(text) < n; ++line) {
        const std::string one = "Line " + std::to_string(line) + " of the long text, with some words " +
                                std::to_string(line * 7919 % 100003) + "\n";
        text.insert(text.end(), one.begin(), one.end());
    }
    text.resize(static_cast<size_t>(n));
    return text;
}

// An archive of count text entries in its root, all of whose records share one stream of
// size bytes: as many entries as wanted, each with real work for a preview, quickly written.
struct TextEntries {
    fs::path root;
    fs::path archive;

    TextEntries(const std::string& name, int count, int64_t size) {
        root = fs::temp_directory_path() / ("vpak-window-bench-" + name);
        archive = root / "text.pak";
        fs::remove_all(root);
        fs::create_directories(root);
        TArrayOfByte stream;
        {
            const TArrayOfByte text = TextLines(size);
            stream = CompressBytes(text.data(), static_cast<int32_t>(text.size()));
        }
        std::string directory;
        PutInt(directory, 0);
        PutInt(directory, count);
        for (int i = 0; i < count; ++i) {
            PutName(directory, "text-" + std::to_string(100000 + i) + ".txt");
            PutInt(directory, 0);
            PutInt(directory, static_cast<int32_t>(stream.size()));
            PutInt(directory, static_cast<int32_t>(size));
        }
        WriteCraftedArchive(archive, directory, stream);
    }
    ~TextEntries() { fs::remove_all(root); }
};

// Turns the event loop until done says so; false after timeoutMs.
template <class TDone>
bool WaitFor(TDone done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The window with the archive open and the preview pane shown.
std::unique_ptr<TForm1> PreviewingForm(const TextEntries& entries) {
    std::unique_ptr<TForm1> form = ShownForm(entries.root);
    form->OpenGivenArchive(entries.archive.string());
    form->ShowPreview();
    return form;
}

// From selecting a 100 MB text entry to its first screen painted in the pane, and the memory
// that takes beyond what the window held before.
void BM_PreviewFirstScreenOf100MBText(benchmark::State& state) {
    const TextEntries entries("preview-big", 1, 100LL * 1024 * 1024);
    const std::unique_ptr<TForm1> form = PreviewingForm(entries);
    auto* tree = form->findChild<TContentsTree*>("ContentsTree");
    auto* pane = form->findChild<TPreviewPane*>("PreviewPane");
    if (tree == nullptr || pane == nullptr || tree->topLevelItemCount() != 1) {
        state.SkipWithError("the archive did not open");
        return;
    }
    QApplication::processEvents();
    ResetPeakMemory();
    const double before = PeakMemoryMb();
    for (auto _ : state) {
        tree->clearSelection();
        pane->Refresh();
        tree->topLevelItem(0)->setSelected(true);
        const uint64_t asked = pane->Shown().generation;
        if (!WaitFor([&] { return pane->Shown().generation > asked && pane->Shown().kind == TPreviewKind::Text; },
                     10000))
            state.SkipWithError("no preview came");
        pane->repaint();
    }
    state.counters["extra_peak_mb"] = PeakMemoryMb() - before;
}

// The selection moved through 1,000 entries (each 8 MB of text) at 30 a second, as holding
// the Down key does: the longest the event loop went without turning, and the jobs started.
void BM_PreviewSelectionThrough1000Entries(benchmark::State& state) {
    const TextEntries entries("preview-many", 1000, 8LL * 1024 * 1024);
    const std::unique_ptr<TForm1> form = PreviewingForm(entries);
    auto* tree = form->findChild<TContentsTree*>("ContentsTree");
    auto* pane = form->findChild<TPreviewPane*>("PreviewPane");
    if (tree == nullptr || pane == nullptr || tree->topLevelItemCount() != 1000) {
        state.SkipWithError("the archive did not open");
        return;
    }
    double longestGapMs = 0;
    int stalls = 0;
    // The same loop with nothing to do, for how long a busy machine alone keeps it from turning.
    double idleGapMs = 0;
    {
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        while (clock.elapsed() < 5000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            const qint64 now = clock.elapsed();
            idleGapMs = std::max(idleGapMs, static_cast<double>(now - last));
            last = now;
        }
    }
    for (auto _ : state) {
        int row = 0;
        tree->setCurrentItem(tree->topLevelItem(0));
        QTimer mover;
        mover.setTimerType(Qt::PreciseTimer);
        QObject::connect(&mover, &QTimer::timeout, [&] {
            if (++row < tree->topLevelItemCount()) tree->setCurrentItem(tree->topLevelItem(row));
        });
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        mover.start(1000 / 30);
        while (row < tree->topLevelItemCount()) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            const qint64 now = clock.elapsed();
            longestGapMs = std::max(longestGapMs, static_cast<double>(now - last));
            if (now - last > 50) ++stalls;
            last = now;
        }
        mover.stop();
    }
    state.counters["longest_stall_ms"] = longestGapMs;
    state.counters["stalls_over_50ms"] = stalls;
    state.counters["idle_longest_gap_ms"] = idleGapMs;
    state.counters["jobs_started"] = pane->Worker().StartedJobs();
}

// A PC archive of 400 entries of 1 MiB of random bytes each (about 400 MB), written as bytes:
// every entry holds the same stream, compressed once.
struct LargeArchive {
    static constexpr int kEntries = 400;
    static constexpr int kEntrySize = 1 << 20;
    fs::path root = fs::temp_directory_path() / "vpak-window-bench-large";
    fs::path archive = root / "large.pak";
    TArrayOfByte content;

    LargeArchive() {
        fs::remove_all(root);
        fs::create_directories(root);
        content = RandomContent(kEntrySize, 7);
        const TArrayOfByte stream = CompressBytes(content.data(), static_cast<int32_t>(content.size()));
        std::string directory;
        PutInt(directory, 0);  // no folders
        PutInt(directory, kEntries);
        for (int i = 0; i < kEntries; ++i) {
            PutName(directory, Name(i));
            PutInt(directory, static_cast<int32_t>(i * stream.size()));
            PutInt(directory, static_cast<int32_t>(stream.size()));
            PutInt(directory, kEntrySize);
        }
        const TArrayOfByte packed = CompressBytes(directory.data(), static_cast<int32_t>(directory.size()));
        std::string header;
        PutInt(header, static_cast<int32_t>(directory.size()));
        PutInt(header, static_cast<int32_t>(8 + packed.size()));
        std::ofstream out(archive, std::ios::binary);
        out << header;
        out.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(packed.size()));
        for (int i = 0; i < kEntries; ++i)
            out.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
    }
    ~LargeArchive() { fs::remove_all(root); }

    static std::string Name(int i) { return "f" + std::to_string(1000 + i) + ".bin"; }
    static TArrayOfByte RandomContent(size_t size, uint32_t seed) {
        std::mt19937 random(seed);
        TArrayOfByte bytes(size);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
        return bytes;
    }
};

LargeArchive& Large() {
    static LargeArchive large;
    return large;
}

// The entry near the front is given, in turn, content 4 KiB longer and its own again: every
// replacement moves the archive's tail (about 398 MB) one way or the other.
const std::string kPutBackEntry = LargeArchive::Name(1);

TArrayOfByte Longer(const TArrayOfByte& content) {
    TArrayOfByte longer = content;
    const TArrayOfByte extra = LargeArchive::RandomContent(4096, 9);
    longer.insert(longer.end(), extra.begin(), extra.end());
    return longer;
}

void WriteBytes(const fs::path& path, const TArrayOfByte& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// What vpak replace --path does: the engine's in-place replacement from a host file.
void BM_ReplaceOneFileAsTheCommandLine(benchmark::State& state) {
    LargeArchive& large = Large();
    const fs::path file = large.root / kPutBackEntry;
    const TArrayOfByte longer = Longer(large.content);
    bool grow = true;
    for (auto _ : state) {
        state.PauseTiming();
        WriteBytes(file, grow ? longer : large.content);
        state.ResumeTiming();
        const TReplaceResult result = ReplaceOneFile({.archivePath = large.archive.string(),
                                                      .filePath = file.string(),
                                                      .key = kPutBackEntry,
                                                      .convertLoc = false,
                                                      .progress = [](const TProgress&) {}});
        if (!result.ok) state.SkipWithError("the replacement failed");
        grow = !grow;
    }
    // The entry's own content back, for the window's turn.
    if (!grow) {
        WriteBytes(file, large.content);
        ReplaceOneFile({.archivePath = large.archive.string(), .filePath = file.string(), .key = kPutBackEntry,
                        .convertLoc = false});
    }
}

// The window's put back, from the save in the other program to the caption that tells the
// outcome: the watcher's notice, a quiet period of 1 ms, the question answered Yes at once,
// the replacement, and the tree filled again.
void BM_PutBackAsTheWindow(benchmark::State& state) {
    LargeArchive& large = Large();
    std::string copy;
    TFormServices services;
    services.Dialogs = std::make_unique<TSilentDialogs>();
    services.SettingsFile = (large.root / "vpak-gui.ini").string();
    services.OpenInProgram = [&copy](const QUrl& url) {
        copy = url.toLocalFile().toStdString();
        return true;
    };
    TForm1 form(std::move(services));
    form.show();
    form.OpenGivenArchive(large.archive.string());
    auto* tree = form.findChild<TContentsTree*>("ContentsTree");
    const QList<QTreeWidgetItem*> nodes = tree->findItems(QString::fromStdString(kPutBackEntry), Qt::MatchExactly);
    if (nodes.size() != 1) return state.SkipWithError("the entry is not in the tree");
    tree->setCurrentItem(nodes.front());
    form.findChild<TOpenedEntries*>("OpenedEntries")->SetQuietPeriod(std::chrono::milliseconds(1));
    form.OpenEntriesClick();
    if (copy.empty()) return state.SkipWithError("the entry was not opened");
    int stored = 0;
    QObject::connect(&form, &QWidget::windowTitleChanged, [&stored](const QString& caption) {
        if (caption.toStdString() == kUpdatedText) ++stored;
    });
    const TArrayOfByte longer = Longer(large.content);
    bool grow = true;
    for (auto _ : state) {
        state.PauseTiming();
        const int before = stored;
        WriteBytes(copy, grow ? longer : large.content);
        state.ResumeTiming();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (stored == before && std::chrono::steady_clock::now() < deadline)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (stored == before) state.SkipWithError("the copy was not put back");
        grow = !grow;
    }
}

}  // namespace

BENCHMARK(BM_PreviewFirstScreenOf100MBText)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PreviewSelectionThrough1000Entries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_OpenArchiveOf100000Entries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OpenArchiveOf1000000Entries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_OpenArchiveOf1000000EntriesWithDetails)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FilterTreeOf100000Entries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ExtractAsTheCommandLine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ExtractAsTheWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ReplaceOneFileAsTheCommandLine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);
BENCHMARK(BM_PutBackAsTheWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
