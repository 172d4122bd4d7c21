// Every operation of an update or a build made to fail in turn: the first, the second ...
// read, write, truncation, flush, rename or removal fails with EIO or ENOSPC, once or for
// good, until the operation gets through. After each failure, and after the next open, the
// archive must be the old one (a failed update or build changes nothing) and no journal or
// staging file may be left; the run that gets through gives the new archive.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "engine/building/archive_builder.h"
#include "engine/updating/archive_update.h"
#include "engine/updating/internal/archive_update.h"
#include "engine/updating/internal/journal_recovery.h"
#include "engine/reading/internal/opened_archive.h"
#include "engine/updating/internal/replace_batch.h"
#include "engine/building/internal/staged_archive.h"
#include "engine/updating/replace_batch.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/file_by_file.h"
#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "hooks/host_test_hooks.h"
#include "support/errors.h"
#include "helpers/operation_results.h"

namespace fs = std::filesystem;

namespace {

using host::hooks::Operation;

struct FaultReset {
    ~FaultReset() { host::hooks::ClearFaults(); }
};

TestFolder SmallTree() {
    TestFolder root;
    root.folders.push_back({"a", {}, {{"one.bin", RandomBytes(20000, 1)}, {"two.txt", Bytes(std::string(9000, 't'))}}});
    root.folders.push_back({"b", {}, {{"three.bin", RandomBytes(15000, 2)}}});
    root.files = {{"four.bin", RandomBytes(5000, 3)}};
    return root;
}

struct FaultCase {
    Operation operation;
    const char* name;
};

const FaultCase kOperations[] = {
    {Operation::Read, "read"},     {Operation::Write, "write"},   {Operation::Truncate, "truncate"},
    {Operation::Flush, "flush"},   {Operation::Rename, "rename"}, {Operation::Remove, "remove"},
};

// The names in the archive's folder besides the archive itself and the given sources.
std::vector<std::string> StrayFiles(const std::string& dir) {
    std::vector<std::string> stray;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name != "data.pak" && name != "src" && name != "new") stray.push_back(name);
    }
    return stray;
}

TArrayOfByte Outcome(const TArrayOfByte& before, const std::function<void(const std::string&)>& action) {
    TempDir dir;
    WriteFile(dir / "data.pak", before);
    action(dir / "data.pak");
    return ReadFileBytes(dir / "data.pak");
}

// Runs action with the nth operation of each kind failing, n = 1, 2, ... until it gets
// through, and checks every outcome. Returns how many runs failed.
int FailEveryOperationInTurn(const TArrayOfByte& before, const std::function<void(const std::string&)>& action) {
    FaultReset reset;
    int failures = 0;
    const TArrayOfByte after = Outcome(before, action);
    EXPECT_NE(after, before);
    for (const FaultCase& fault : kOperations) {
        for (const int code : {EIO, ENOSPC}) {
            for (const bool persistent : {false, true}) {
                SCOPED_TRACE(std::string(fault.name) + (code == EIO ? " EIO" : " ENOSPC") +
                             (persistent ? " for good" : " once"));
                for (int64_t n = 1;; ++n) {
                    SCOPED_TRACE("failing operation " + std::to_string(n));
                    TempDir dir;
                    const std::string archive = dir / "data.pak";
                    WriteFile(archive, before);
                    host::hooks::FailNth(fault.operation, n, code, persistent);
                    bool raised = false;
                    try {
                        action(archive);
                    } catch (const EInOutError& error) {
                        raised = true;
                        EXPECT_EQ(error.Code(), code) << error.what();
                    }
                    host::hooks::ClearFaults();
                    const TArrayOfByte beforeRecovery = ReadFileBytes(archive);
                    RecoverArchive(archive);
                    RemoveLeftOverBuild(archive);
                    const TArrayOfByte bytes = ReadFileBytes(archive);
                    EXPECT_TRUE(StrayFiles(dir.Path()).empty()) << StrayFiles(dir.Path())[0];
                    // A fault that struck once leaves nothing for the next open to do.
                    if (!persistent) {
                        EXPECT_EQ(beforeRecovery, bytes);
                    }
                    if (!raised) {
                        EXPECT_EQ(bytes, after);
                        break;
                    }
                    ++failures;
                    // Only a failure after the new archive was complete (flushing the name of
                    // the removed journal or of the renamed archive) leaves the new archive;
                    // any earlier one undoes everything.
                    const bool lastFlush = fault.operation == Operation::Flush && bytes == after;
                    EXPECT_TRUE(bytes == before || lastFlush);
                    if (::testing::Test::HasFailure()) return failures;
                }
            }
        }
    }
    return failures;
}

}  // namespace

TEST(FaultInjection, FailedGrowingReplacementLeavesTheOldArchive) {
    TempDir files;
    WriteFile(files / "new", RandomBytes(30000, 9));
    const int failures = FailEveryOperationInTurn(EncodedArchive(SmallTree()), [&](const std::string& archive) {
        ReplaceOneFile({.archivePath = archive, .filePath = files / "new", .key = "a\\one.bin", .convertLoc = false}).ok;
    });
    EXPECT_GT(failures, 20);
}

TEST(FaultInjection, FailedShrinkingReplacementLeavesTheOldArchive) {
    TempDir files;
    WriteFile(files / "new", "tiny");
    const int failures = FailEveryOperationInTurn(EncodedArchive(SmallTree()), [&](const std::string& archive) {
        ReplaceOneFile({.archivePath = archive, .filePath = files / "new", .key = "a\\two.txt", .convertLoc = false}).ok;
    });
    EXPECT_GT(failures, 20);
}

TEST(FaultInjection, FailedReplacementFromADirectoryLeavesTheOldArchiveWhole) {
    TempDir files;
    WriteFile(files / "many/a/one.bin", RandomBytes(25000, 10));
    WriteFile(files / "many/b/three.bin", "short");
    WriteFile(files / "many/four.bin", RandomBytes(5000, 11));
    const int failures = FailEveryOperationInTurn(EncodedArchive(SmallTree()), [&](const std::string& archive) {
        int32_t count = 0;
        Replaced(ReplaceFromDirectory({.archivePath = archive, .sourceDir = files / "many", .convertLoc = false}), count);
    });
    EXPECT_GT(failures, 40);
}

// File by file, a failure in a later pass takes back the earlier ones too; in one pass with
// every new stream parked in the journal, a failure while parking leaves the archive as it is.
TEST(FaultInjection, FailedReplacementFromADirectoryFileByFileOrParkingLeavesTheOldArchiveWhole) {
    TempDir files;
    WriteFile(files / "many/a/one.bin", RandomBytes(25000, 10));
    WriteFile(files / "many/b/three.bin", "short");
    WriteFile(files / "many/four.bin", RandomBytes(5000, 11));
    for (const bool fileByFile : {false, true}) {
        SCOPED_TRACE(fileByFile ? "file by file" : "one pass, each new stream parked");
        const int failures = FailEveryOperationInTurn(EncodedArchive(SmallTree()), [&](const std::string& archive) {
            int32_t count = 0;
            if (fileByFile) Replaced(ReplaceFromDirectoryFileByFile({.archivePath = archive, .sourceDir = files / "many", .convertLoc = false}), count);
            else Replaced(ReplaceFromDirectoryHolding({.archivePath = archive, .sourceDir = files / "many", .convertLoc = false}, 0), count);
        });
        EXPECT_GT(failures, 40);
    }
}

TEST(FaultInjection, FailedBuildLeavesTheOldArchiveAndNoStagingFile) {
    TempDir files;
    WriteFile(files / "tree/x.bin", RandomBytes(40000, 12));
    WriteFile(files / "tree/sub/y.txt", std::string(30000, 'y'));
    const int failures = FailEveryOperationInTurn(EncodedArchive(SmallTree()), [&](const std::string& archive) {
        int32_t folders = 0;
        int32_t fileCount = 0;
        Made(MakeArchive({.sourceDir = files / "tree", .archivePath = archive, .convertLoc = false}), folders, fileCount);
    });
    EXPECT_GT(failures, 10);
}

// A tail longer than the journal keeps in the cache is written out piece by piece while it
// is saved; a failure there must stop the update before the archive changes.
TEST(FaultInjection, FailedWriteOutOfALongJournalLeavesTheOldArchive) {
    FaultReset reset;
    TestFolder root;
    root.files = {{"front.bin", RandomBytes(1000, 20)}, {"tail.bin", RandomBytes(40 << 20, 21)}};
    TempDir dir;
    const std::string archive = dir / "data.pak";
    WriteTestArchive(archive, root);
    const TArrayOfByte before = ReadFileBytes(archive);
    WriteFile(dir / "new", RandomBytes(3000, 22));

    host::hooks::FailNth(Operation::Flush, 1, EIO, false);
    try {
        ReplaceOneFile({.archivePath = archive, .filePath = dir / "new", .key = "front.bin", .convertLoc = false}).ok;
        ADD_FAILURE() << "the replacement went through";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Code(), EIO);
        EXPECT_EQ(error.what(), "Cannot flush the journal of \"" + archive + "\": Input/output error");
    }
    host::hooks::ClearFaults();
    EXPECT_EQ(ReadFileBytes(archive), before);
    EXPECT_FALSE(fs::exists(archive + kJournalSuffix));
}
