// Storing a host file as an existing entry of a PC or an Xbox 360 archive, through the
// engine's own operations.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/format/loc_convert.h"
#include "helpers/archive_writer.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"
#include "support/host_entries.h"
#include "ui/entry_store.h"

namespace fs = std::filesystem;

namespace {

TestFile File(const std::string& name, const std::string& content) { return {name, Bytes(content)}; }

// text\greeting.txt, text\strings.loc (a table of "old"), top.bin
TestFolder SmallTree(bool xbox) {
    TArrayOfByte table;
    const std::string tableSource = "old\r\n";
    TempDir scratch;
    WriteFile(scratch / "t.loc", tableSource);
    EXPECT_TRUE(TextToLoc(xbox, scratch / "t.loc", table));
    return TestFolder{"", {{"text", {}, {File("greeting.txt", "hello"), {"strings.loc", table}}}}, {File("top.bin", "top")}};
}

struct Flavour {
    const char* name;
    bool xbox;
};

class EntryStoreTest : public ::testing::TestWithParam<Flavour> {
protected:
    void SetUp() override {
        archive = dir / "data.pak";
        WriteTestArchive(archive, SmallTree(Xbox()), Xbox());
    }
    bool Xbox() const { return GetParam().xbox; }

    TEntryStoreRequest Request(const std::string& entry, const std::string& file) {
        TEntryStoreRequest request;
        request.xbox = Xbox();
        request.archivePath = archive;
        request.archiveIdentity = host::Stat(archive).identity;
        request.entryPath = entry;
        request.filePath = file;
        request.notices = &notices;
        return request;
    }
    // The entry's content as `vpak cat` gives it.
    std::string Cat(const std::string& entry) const {
        return CatEntry(archive, entry, Xbox());
    }
    std::string TableOf(const std::string& text) const {
        WriteFile(dir / "table-source.loc", text);
        TArrayOfByte table;
        EXPECT_TRUE(TextToLoc(Xbox(), dir / "table-source.loc", table));
        return std::string(table.begin(), table.end());
    }

    TempDir dir;
    std::string archive;
    TNotices notices;
    TEngineCalls engine = EngineOperations();
};

INSTANTIATE_TEST_SUITE_P(Flavours, EntryStoreTest, ::testing::Values(Flavour{"Pc", false}, Flavour{"Xbox", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(EntryStoreTest, StoresTheFilesBytesAsTheEntrysContentAndKeepsTheOtherEntries) {
    WriteFile(dir / "greeting.txt", "a new greeting, longer than the old one");
    const TEntryStoreResult result = StoreEntry(engine, Request("text\\greeting.txt", dir / "greeting.txt"));
    ASSERT_TRUE(result.Stored()) << result.reason;
    EXPECT_EQ(Cat("text\\greeting.txt"), "a new greeting, longer than the old one");
    EXPECT_EQ(Cat("top.bin"), "top");
    EXPECT_EQ(result.archiveIdentity, host::Stat(archive).identity);
}

TEST_P(EntryStoreTest, StoresAFileOfAnotherNameUnderTheEntrysOwnName) {
    WriteFile(dir / "edited copy", "renamed content");
    const TEntryStoreResult result = StoreEntry(engine, Request("text\\greeting.txt", dir / "edited copy"));
    ASSERT_TRUE(result.Stored()) << result.reason;
    EXPECT_EQ(Cat("text\\greeting.txt"), "renamed content");
    const CliResult list = RunVpak(Xbox() ? std::vector<std::string>{"list", "--xbox", archive}
                                          : std::vector<std::string>{"list", archive});
    EXPECT_EQ(list.out.find("edited copy"), std::string::npos) << list.out;
}

struct LocCase {
    const char* name;
    const char* fileName;
    bool locText;
};

TEST_P(EntryStoreTest, StoresTheTableOfALocTextWhetherOrNotItsFileIsNamedLoc) {
    for (const LocCase c : {LocCase{"named", "strings.loc", true}, LocCase{"unnamed", "strings.txt", true}}) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / c.fileName, "new line one\r\nline two\r\n");
        TEntryStoreRequest request = Request("text\\strings.loc", dir / c.fileName);
        request.locText = c.locText;
        const TEntryStoreResult result = StoreEntry(engine, request);
        ASSERT_TRUE(result.Stored()) << result.reason;
        EXPECT_EQ(Cat("text\\strings.loc"), TableOf("new line one\r\nline two\r\n"));
    }
}

TEST_P(EntryStoreTest, StoresABinaryTableAsItIsWhenTheFileHoldsNoText) {
    const std::string table = TableOf("binary\r\n");
    WriteFile(dir / "strings.loc", table);
    TEntryStoreRequest request = Request("text\\strings.loc", dir / "strings.loc");
    request.locText = false;
    const TEntryStoreResult result = StoreEntry(engine, request);
    ASSERT_TRUE(result.Stored()) << result.reason;
    EXPECT_EQ(Cat("text\\strings.loc"), table);
}

TEST_P(EntryStoreTest, RefusesAnEntryTheArchiveNoLongerHoldsAndWritesNothing) {
    WriteFile(dir / "gone.txt", "new");
    const TArrayOfByte before = ReadFileBytes(archive);
    const TEntryStoreResult result = StoreEntry(engine, Request("text\\gone.txt", dir / "gone.txt"));
    EXPECT_EQ(result.outcome, TEntryStoreOutcome::EntryGone);
    EXPECT_EQ(result.reason, EntryGoneReason("text\\gone.txt"));
    EXPECT_EQ(ReadFileBytes(archive), before);
}

TEST_P(EntryStoreTest, RefusesAnArchiveReplacedByAnotherFileAndWritesNothing) {
    WriteFile(dir / "greeting.txt", "new");
    const TEntryStoreRequest request = Request("text\\greeting.txt", dir / "greeting.txt");
    // The same bytes, but another file: a build renames its new archive over the old one.
    fs::copy_file(archive, dir / "other.pak");
    fs::rename(dir / "other.pak", archive);
    const TArrayOfByte before = ReadFileBytes(archive);
    const TEntryStoreResult result = StoreEntry(engine, request);
    EXPECT_EQ(result.outcome, TEntryStoreOutcome::ArchiveReplaced);
    EXPECT_EQ(result.reason, ArchiveReplacedReason(archive));
    EXPECT_EQ(ReadFileBytes(archive), before);
}

TEST_P(EntryStoreTest, RefusesAMissingArchive) {
    WriteFile(dir / "greeting.txt", "new");
    const TEntryStoreRequest request = Request("text\\greeting.txt", dir / "greeting.txt");
    fs::remove(archive);
    EXPECT_EQ(StoreEntry(engine, request).outcome, TEntryStoreOutcome::ArchiveReplaced);
    EXPECT_FALSE(fs::exists(archive));
}

TEST_P(EntryStoreTest, AFileThatCannotBeReadStoresNothing) {
    const TArrayOfByte before = ReadFileBytes(archive);
    const TEntryStoreResult result = StoreEntry(engine, Request("text\\greeting.txt", dir / "missing.txt"));
    EXPECT_FALSE(result.Stored());
    EXPECT_EQ(ReadFileBytes(archive), before);
}

}  // namespace
