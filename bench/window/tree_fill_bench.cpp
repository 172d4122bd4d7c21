// Opening an archive of 100,000 entries in the window: reading its directory and filling the
// contents tree, as picking it with "..." does. Runs on Qt's offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/archive_builder.h"
#include "ui/contents_tree.h"
#include "ui/main_window.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;

class TSilentDialogs : public TDialogs {
public:
    bool ExecuteOpenDialog(QWidget*, TOpenDialogState&) override { return false; }
    bool BrowseForFolder(QWidget*, const std::string&, const std::string&, std::string&) override { return false; }
    bool Confirm(QWidget*, const std::string&) override { return true; }
    void ShowAbout(QWidget*, const std::string&, const std::string&) override {}
    void ShowError(QWidget*, const std::string&, const std::string&) override {}
    void ShowWarning(QWidget*, const std::string&, const std::string&) override {}
};

// An archive of 100 folders of 1,000 small files each, as a game's archive lays them out.
struct Fixture {
    fs::path root = fs::temp_directory_path() / "vpak-tree-fill-bench";
    fs::path archive = root / "many.pak";

    Fixture() {
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
        int32_t folders = 0;
        int32_t files = 0;
        MakeArchive(false, (root / "tree").string(), archive.string(), nullptr, false, folders, files);
        fs::remove_all(root / "tree");
    }
    ~Fixture() { fs::remove_all(root); }
};

void BM_OpenArchiveOf100000Entries(benchmark::State& state) {
    static Fixture fixture;
    TFormServices services;
    services.Dialogs = std::make_unique<TSilentDialogs>();
    services.SettingsFile = (fixture.root / "vpak-gui.ini").string();
    TForm1 form(std::move(services));
    form.show();
    for (auto _ : state) {
        form.OpenGivenArchive(fixture.archive.string());
        if (!form.windowTitle().startsWith("O.K.")) state.SkipWithError("the archive did not open");
    }
    state.counters["entries"] = kFolders * kFilesPerFolder;
}

}  // namespace

BENCHMARK(BM_OpenArchiveOf100000Entries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
