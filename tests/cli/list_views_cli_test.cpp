// vpak list --long and --json, through the real executable.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "engine/reading/archive_entries.h"
#include "engine/format/hash_tag.h"
#include "helpers/archive_writer.h"
#include "helpers/random_bytes.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace {

using nlohmann::json;

TestFolder ExampleTree() {
    TestFolder root;
    root.folders.push_back({"data", {}, {{"a.txt", Bytes(std::string(3000, 'a'))}, {"r.bin", RandomBytes(2048, 5)}}});
    root.files.push_back({"readme.txt", {}});
    return root;
}

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

class ListViews : public ::testing::Test {
protected:
    TempDir dir;
    std::string archive = dir / "test.pak";

    TArchiveIndex Index(bool bigEndian = false) {
        TArchiveIndex index;
        EXPECT_TRUE(ReadArchiveIndex(bigEndian, archive, index, nullptr));
        return index;
    }
};

}  // namespace

TEST_F(ListViews, LongShowsEachFileThenTheTotals) {
    WriteTestArchive(archive, ExampleTree());
    const CliResult r = RunVpak({"list", "--long", archive});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "      SIZE     PACKED   RATIO  PATH\n"
              "   2.9 KiB       27 B    0.9%  data\\a.txt\n"
              "   2.0 KiB    2.0 KiB  100.5%  data\\r.bin\n"
              "       0 B        8 B       -  readme.txt\n"
              "   4.9 KiB    2.0 KiB   41.5%  total of 3 files\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(ListViews, LongTotalsSumEveryRecord) {
    WriteTestArchive(archive, TestFolder{"", {}, {{"a.bin", RandomBytes(3 << 20, 9)}, {"b.bin", RandomBytes(1 << 20, 10)}}});
    const CliResult r = RunVpak({"list", "-l", archive});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string last = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    EXPECT_EQ(last, "   4.0 MiB    4.0 MiB  100.0%  total of 2 files\n");
}

TEST_F(ListViews, JsonParsesBackToTheArchivesRecords) {
    WriteTestArchive(archive, ExampleTree());
    const TArchiveIndex index = Index();
    const TArchiveEntries& entries = index.entries;
    const CliResult r = RunVpak({"list", "--json", archive});
    ASSERT_EQ(r.status, 0) << r.err;
    const json document = json::parse(r.out);
    EXPECT_EQ(document["flavour"], "pc");
    ASSERT_EQ(document["entries"].size(), entries.size());
    int64_t packed = 0;
    int64_t unpacked = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const json& item = document["entries"][i];
        EXPECT_EQ(item["path"], index.PathOf(entries[i]));
        EXPECT_FALSE(item.contains("path_bytes"));
        EXPECT_EQ(item["data_offset"], entries[i].dataOffset);
        EXPECT_EQ(item["absolute_offset"], entries[i].streamStart);
        EXPECT_EQ(item["packed_size"], entries[i].packedSize);
        EXPECT_EQ(item["unpacked_size"], entries[i].unpackedSize);
        EXPECT_EQ(item["tag"], TagToText(PathHashTag(index.PathOf(entries[i]))));
        packed += entries[i].packedSize;
        unpacked += entries[i].unpackedSize;
    }
    EXPECT_EQ(document["totals"]["files"], 3);
    EXPECT_EQ(document["totals"]["packed_size"], packed);
    EXPECT_EQ(document["totals"]["unpacked_size"], unpacked);
}

TEST_F(ListViews, JsonNamesTheXboxFlavour) {
    WriteTestArchive(archive, ExampleTree(), true);
    const CliResult r = RunVpak({"list", "--json", "--xbox", archive});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(json::parse(r.out)["flavour"], "xbox360");
}

TEST_F(ListViews, JsonCarriesAPathThatIsNotUtf8ExactlyInPathBytes) {
    const std::string name = "M\xE4rchen\xFF.txt";
    WriteTestArchive(archive, TestFolder{"", {}, {{name, Bytes("tale")}}});
    const CliResult r = RunVpak({"list", "--json", archive});
    ASSERT_EQ(r.status, 0) << r.err;
    const json item = json::parse(r.out)["entries"][0];
    EXPECT_EQ(item["path"], "M\xEF\xBF\xBDrchen\xEF\xBF\xBD.txt");
    EXPECT_EQ(item["path_bytes"], "4de4726368656eff2e747874");
    const std::string bytes = FromHex(item["path_bytes"].get<std::string>());
    EXPECT_EQ(bytes, name);
    EXPECT_EQ(RunVpak({"cat", archive, bytes}).out, "tale") << "the bytes name the entry again";
}

TEST_F(ListViews, JsonEscapesQuotesAndControlCharactersOfNamesAsAJsonLibraryDoes) {
    const std::vector<std::string> names = {"say \"hi\".txt", "tab\there.txt", "line\nbreak.txt",
                                            std::string("nul\0\x01\x1F.txt", 10), "del\x7F.txt", "\xC3\xA9t\xC3\xA9.txt"};
    TestFolder root;
    for (const std::string& name : names) root.files.push_back({name, Bytes("x")});
    WriteTestArchive(archive, root);
    const CliResult r = RunVpak({"list", "--json", archive});
    ASSERT_EQ(r.status, 0) << r.err;
    const json entries = json::parse(r.out)["entries"];
    ASSERT_EQ(entries.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(entries[i]["path"], names[i]);
        EXPECT_NE(r.out.find("\"path\": " + json(names[i]).dump() + ",\n"), std::string::npos) << json(names[i]).dump();
    }
}

TEST_F(ListViews, LongAndJsonExcludeEachOther) {
    WriteTestArchive(archive, ExampleTree());
    EXPECT_EQ(RunVpak({"list", "--long", "--json", archive}).status, 2);
}

TEST_F(ListViews, AnUnreadableArchiveFailsAsThePlainListingDoes) {
    WriteFile(archive, "this is not an archive at all");
    for (const char* view : {"--long", "--json"}) {
        const CliResult r = RunVpak({"list", view, archive});
        EXPECT_EQ(r.status, 1) << view;
        EXPECT_EQ(r.out, "") << view;
        EXPECT_EQ(r.err, RunVpak({"list", archive}).err) << view;
    }
}
