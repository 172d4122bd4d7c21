#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/building/archive_builder.h"
#include "engine/building/internal/archive_builder.h"
#include "helpers/progress_record.h"
#include "helpers/temp_dir.h"
#include "support/errors.h"
#include "helpers/operation_results.h"

namespace {

struct TBuild {
    bool ok = false;
    int32_t folders = -1;
    int32_t files = -1;
    TReports reports;
    TArrayOfByte archive;
    std::string error;  // the message of a raised error, if any
};

TBuild BuildWith(const std::string& source, const std::string& archive, int threads, bool bigEndian = false) {
    TBuild build;
    const ProgressProc recorder = RecordReports(build.reports);
    try {
        build.ok = Made(MakeArchiveWithThreads({.bigEndian = bigEndian, .sourceDir = source, .archivePath = archive, .progress = recorder}, threads), build.folders, build.files);
    } catch (const EInOutError& error) {
        build.error = error.what();
    }
    if (std::filesystem::exists(archive)) build.archive = ReadFileBytes(archive);
    return build;
}

// A tree of folders and files of mixed sizes and kinds: text and noise, empty files, .loc
// texts, an empty folder, and on request one file larger than all the files in flight may
// hold together.
void MakeMixedTree(const std::string& root, unsigned seed, bool withBigFile) {
    std::mt19937 random(seed);
    auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int folder = 0; folder < 8; ++folder) {
        const std::string dir = root + "/F" + std::to_string(folder) + (folder % 3 ? "/sub" : "");
        for (int k = 0; k < 40; ++k) {
            const int kind = pick(0, 4);
            const size_t size = kind == 0 ? 0 : static_cast<size_t>(pick(1, kind == 4 ? 200000 : 5000));
            std::string content(size, ' ');
            for (char& c : content) c = kind == 1 ? static_cast<char>(pick(0, 255)) : "abc de\n"[pick(0, 6)];
            const std::string name = "file" + std::to_string(k) + (kind == 3 ? ".LOC" : ".bin");
            if (kind == 3) content = "line one\r\nline " + std::to_string(k) + "\r\n";
            WriteFile(dir + "/" + name, content);
        }
    }
    std::filesystem::create_directories(root + "/empty folder");
    if (!withBigFile) return;
    std::string big(17u << 20, ' ');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + (i * 7 / 4096) % 26);
    WriteFile(root + "/F4/big.bin", big);
}

}  // namespace

TEST(ParallelBuild, ArchiveAndProgressAreThoseOfTheSingleThreadedBuild) {
    TempDir dir;
    MakeMixedTree(dir / "src", 11, true);
    ASSERT_EQ(::mkfifo((dir / "src/F2/pipe").c_str(), 0644), 0);  // a file whose content is never obtained
    for (bool bigEndian : {false, true}) {
        const TBuild reference = BuildWith(dir / "src", dir / "one.pak", 0, bigEndian);
        ASSERT_EQ(reference.error, "");
        EXPECT_FALSE(reference.ok) << "the pipe fails";
        EXPECT_EQ(reference.files, 8 * 40 + 2);
        ASSERT_GT(reference.archive.size(), 1000u);
        for (int threads : bigEndian ? std::vector<int>{2} : std::vector<int>{1, 2, 5}) {
            SCOPED_TRACE(std::to_string(threads) + " threads");
            const TBuild build = BuildWith(dir / "src", dir / "many.pak", threads, bigEndian);
            EXPECT_EQ(build.error, "");
            EXPECT_EQ(build.ok, reference.ok);
            EXPECT_EQ(build.folders, reference.folders);
            EXPECT_EQ(build.files, reference.files);
            EXPECT_TRUE(build.archive == reference.archive) << "the archives differ";
            EXPECT_EQ(build.reports, reference.reports);
        }
    }
}

TEST(ParallelBuild, MakeArchiveWritesTheSingleThreadedArchive) {
    TempDir dir;
    MakeMixedTree(dir / "src", 12, true);
    const TBuild reference = BuildWith(dir / "src", dir / "one.pak", 0);
    int32_t folders = 0;
    int32_t files = 0;
    TReports reports;
    ASSERT_TRUE(Made(MakeArchive({.sourceDir = dir / "src", .archivePath = dir / "default.pak", .progress = RecordReports(reports)}), folders, files));
    EXPECT_TRUE(reference.ok);
    EXPECT_EQ(folders, reference.folders);
    EXPECT_EQ(files, reference.files);
    EXPECT_TRUE(ReadFileBytes(dir / "default.pak") == reference.archive) << "the archives differ";
    EXPECT_EQ(reports, reference.reports);
}

TEST(ParallelBuild, AnErrorRaisedAheadReachesTheCallerWhereTheScanMeetsTheFile) {
    TempDir dir;
    MakeMixedTree(dir / "src", 13, false);
    // A file the builder refuses, with files before and after it in scan order.
    WriteFile(dir / "src/F3/file20.zz", "");
    ASSERT_EQ(::truncate((dir / "src/F3/file20.zz").c_str(), int64_t{1} << 31), 0);
    const TBuild reference = BuildWith(dir / "src", dir / "one.pak", 0);
    ASSERT_NE(reference.error.find("file20.zz"), std::string::npos) << reference.error;
    ASSERT_GT(reference.reports.size(), 10u);
    EXPECT_EQ(reference.reports.back().text.rfind("F3\\file20.", 0), 0u) << "the file before it was reported last";
    for (int threads : {1, 2, 4}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        const TBuild build = BuildWith(dir / "src", dir / "many.pak", threads);
        EXPECT_EQ(build.error, reference.error);
        EXPECT_EQ(build.reports, reference.reports);
        EXPECT_TRUE(build.archive == reference.archive) << "the data written before the error differs";
    }
}
