// Operations stopped by their progress callback, at every report they make: a build leaves
// the archive it would have replaced and no file of its own, an update is rolled back, an
// extraction keeps exactly the files it had reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "engine/building/archive_builder.h"
#include "engine/reading/archive_reader.h"
#include "engine/updating/archive_update.h"
#include "engine/reading/internal/opened_archive.h"
#include "engine/building/internal/staged_archive.h"
#include "engine/updating/replace_batch.h"
#include "helpers/archive_writer.h"
#include "helpers/progress_record.h"
#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "hooks/host_test_hooks.h"
#include "support/errors.h"
#include "helpers/operation_results.h"

namespace fs = std::filesystem;

namespace {

// Raises ECancelled at the stopAt-th report (counted from 1), as the window does when its
// user answered Yes; counts the reports of finished items before it. Keep-alive reports,
// which come only when a step is slow, are not counted, so each run stops at the same place.
struct TStopper {
    explicit TStopper(int at) : stopAt(at) {}
    int stopAt;
    int seen = 0;
    int itemsReported = 0;
    std::string previous;
    ProgressProc Proc() {
        return [this](const TProgress& progress) {
            const bool keepAlive = IsKeepAlive(progress, previous);
            previous = progress.text;
            if (keepAlive) return;
            if (++seen == stopAt) throw ECancelled();
            if (progress.HasPosition()) ++itemsReported;
        };
    }
};

int CountReports(const std::function<void(const ProgressProc&)>& run) {
    TReports reports;
    run(RecordReports(reports));
    return static_cast<int>(reports.size());
}

TestFolder OldTree() { return TestFolder{"", {}, {{"old.txt", Bytes("the archive before")}}}; }

TestFolder UpdatableTree() {
    TestFolder root;
    root.folders.push_back({"data", {}, {{"a.bin", RandomBytes(5000, 1)}, {"b.bin", RandomBytes(3000, 2)}}});
    root.files = {{"readme.txt", Bytes("read me")}, {"z.bin", RandomBytes(4000, 3)}};
    return root;
}

// New contents for some entries: one grows, one shrinks, one keeps its size.
void WriteReplacements(const std::string& dir) {
    WriteFile(dir + "/data/a.bin", RandomBytes(9000, 4));
    WriteFile(dir + "/readme.txt", "short");
    WriteFile(dir + "/z.bin", RandomBytes(4000, 5));
}

}  // namespace

TEST(StoppedOperation, ABuildStoppedAtAnyReportLeavesTheArchiveItWouldReplace) {
    TempDir dir;
    for (int i = 0; i < 6; ++i) WriteFile(dir / ("src/f" + std::to_string(i % 3) + "/file" + std::to_string(i)),
                                          std::string(1000 + i, static_cast<char>('a' + i)));
    int32_t folders = 0;
    int32_t files = 0;
    const int reports = CountReports([&](const ProgressProc& progress) {
        ASSERT_TRUE(Made(MakeArchive({.sourceDir = dir / "src", .archivePath = dir / "reference.pak", .progress = progress}), folders, files));
    });
    ASSERT_GT(reports, 8);
    WriteTestArchive(dir / "out.pak", OldTree());
    const TArrayOfByte old = ReadFileBytes(dir / "out.pak");
    for (int stopAt = 1; stopAt <= reports; ++stopAt) {
        TStopper stopper(stopAt);
        EXPECT_THROW(Made(MakeArchive({.sourceDir = dir / "src", .archivePath = dir / "out.pak", .progress = stopper.Proc()}), folders, files), ECancelled)
            << stopAt;
        EXPECT_EQ(ReadFileBytes(dir / "out.pak"), old) << stopAt;
        EXPECT_EQ(StagingPathsOf(dir / "out.pak"), std::vector<std::string>{}) << stopAt;
    }
}

TEST(StoppedOperation, AReplacementFromADirectoryStoppedAtAnyReportIsRolledBack) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", UpdatableTree());
    const TArrayOfByte old = ReadFileBytes(dir / "x.pak");
    WriteReplacements(dir / "new");
    int32_t count = 0;
    const int reports = CountReports([&](const ProgressProc& progress) {
        ASSERT_TRUE(Replaced(ReplaceFromDirectory({.archivePath = dir / "x.pak", .sourceDir = dir / "new", .progress = progress}), count));
    });
    ASSERT_GE(reports, 7) << "preparing, three files, and the phases of writing";
    for (int stopAt = 1; stopAt <= reports; ++stopAt) {
        WriteFile(dir / "x.pak", old);
        TStopper stopper(stopAt);
        EXPECT_THROW(Replaced(ReplaceFromDirectory({.archivePath = dir / "x.pak", .sourceDir = dir / "new", .progress = stopper.Proc()}), count),
                     ECancelled)
            << stopAt;
        EXPECT_EQ(ReadFileBytes(dir / "x.pak"), old) << stopAt;
        EXPECT_FALSE(fs::exists(dir / ("x.pak" + std::string(kJournalSuffix)))) << stopAt;
    }
}

TEST(StoppedOperation, OneReplacementStoppedInAnyPhaseOfWritingIsRolledBack) {
    TempDir dir;
    WriteTestArchive(dir / "x.pak", UpdatableTree());
    const TArrayOfByte old = ReadFileBytes(dir / "x.pak");
    WriteFile(dir / "new.bin", RandomBytes(7000, 6));
    const int reports = CountReports([&](const ProgressProc& progress) {
        ASSERT_TRUE(ReplaceOneFile({.archivePath = dir / "x.pak", .filePath = dir / "new.bin", .key = "data/b.bin", .convertLoc = false, .progress = progress}).ok);
    });
    ASSERT_EQ(reports, 3) << "saving, moving, writing";
    for (int stopAt = 1; stopAt <= reports; ++stopAt) {
        WriteFile(dir / "x.pak", old);
        TStopper stopper(stopAt);
        EXPECT_THROW(ReplaceOneFile({.archivePath = dir / "x.pak", .filePath = dir / "new.bin", .key = "data/b.bin", .convertLoc = false, .progress = stopper.Proc()}).ok,
                     ECancelled)
            << stopAt;
        EXPECT_EQ(ReadFileBytes(dir / "x.pak"), old) << stopAt;
        EXPECT_FALSE(fs::exists(dir / ("x.pak" + std::string(kJournalSuffix)))) << stopAt;
    }
}

TEST(StoppedOperation, AnExtractionStoppedAtAnyReportKeepsExactlyTheFilesItReported) {
    TempDir dir;
    TestFolder root;
    for (int i = 0; i < 5; ++i) root.files.push_back({"f" + std::to_string(i), RandomBytes(2000, 10 + i)});
    WriteTestArchive(dir / "x.pak", root);
    const int reports = 1 + static_cast<int>(root.files.size());  // the folders step, then each file
    for (int stopAt = 1; stopAt <= reports; ++stopAt) {
        const std::string out = dir / ("out" + std::to_string(stopAt));
        fs::create_directories(out);
        TStopper stopper(stopAt);
        TStringList listing;
        EXPECT_THROW(ExtractArchive({.archivePath = dir / "x.pak", .targetDir = out, .convertLoc = false, .progress = stopper.Proc(), .listing = &listing}).ok,
                     ECancelled);
        size_t present = 0;
        for (const TestFile& file : root.files) {
            if (!fs::exists(out + "/" + file.name)) continue;
            ++present;
            EXPECT_EQ(ReadFileBytes(out + "/" + file.name), file.content) << file.name;
        }
        // The file whose report stops the extraction is written whole before it.
        EXPECT_EQ(present, static_cast<size_t>(std::max(stopAt - 1, 0))) << stopAt;
        EXPECT_EQ(stopper.itemsReported, std::max(stopAt - 2, 0)) << stopAt;
    }
}

// On a nearly full disk the passes roll forward: a stop before the pass is sealed leaves the
// old archive; one asked for after it is let go, and the replacement completes.
TEST(StoppedOperation, AReplacementRollingForwardStopsBeforeItsSealAndCompletesAfterIt) {
    const struct {
        const char* name;
        std::function<bool(const std::string& dir, const ProgressProc&)> replace;
    } kinds[] = {
        {"one file",
         [](const std::string& dir, const ProgressProc& progress) {
             return ReplaceOneFile({.archivePath = dir + "/x.pak", .filePath = dir + "/new.bin", .key = "data/b.bin", .convertLoc = false, .progress = progress}).ok;
         }},
        {"a directory",
         [](const std::string& dir, const ProgressProc& progress) {
             int32_t count = 0;
             return Replaced(ReplaceFromDirectory({.archivePath = dir + "/x.pak", .sourceDir = dir + "/new", .progress = progress}), count);
         }},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        TempDir temp;
        const std::string dir = temp.Path();
        WriteTestArchive(dir + "/x.pak", UpdatableTree());
        const TArrayOfByte old = ReadFileBytes(dir + "/x.pak");
        WriteFile(dir + "/new.bin", RandomBytes(7000, 6));
        WriteReplacements(dir + "/new");
        const host::hooks::StatedSpace nearlyFull(4096);
        // Counted as the stopper counts them: a keep-alive repeat of the same text, which a
        // slow run sends and a fast one does not, is no step of the replacement.
        std::vector<std::string> texts;
        std::string previous;
        ASSERT_TRUE(kind.replace(dir, [&](const TProgress& progress) {
            const bool keepAlive = IsKeepAlive(progress, previous);
            previous = progress.text;
            if (!keepAlive) texts.push_back(progress.text);
        }));
        const TArrayOfByte replaced = ReadFileBytes(dir + "/x.pak");
        const auto moving = std::find(texts.begin(), texts.end(), std::string("moving the archive's contents..."));
        ASSERT_NE(moving, texts.end());
        const int sealedAt = static_cast<int>(moving - texts.begin()) + 1;
        for (int stopAt = sealedAt - 1; stopAt <= sealedAt; ++stopAt) {
            WriteFile(dir + "/x.pak", old);
            TStopper stopper(stopAt);
            if (stopAt < sealedAt) {
                EXPECT_THROW(kind.replace(dir, stopper.Proc()), ECancelled);
                EXPECT_EQ(ReadFileBytes(dir + "/x.pak"), old);
            } else {
                EXPECT_TRUE(kind.replace(dir, stopper.Proc()));
                EXPECT_EQ(ReadFileBytes(dir + "/x.pak"), replaced);
            }
            EXPECT_FALSE(fs::exists(dir + "/x.pak" + kJournalSuffix)) << stopAt;
        }
    }
}
