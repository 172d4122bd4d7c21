#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/building/internal/archive_builder.h"
#include "helpers/temp_dir.h"
#include "support/host_entries.h"
#include "support/zlib_adapter.h"

namespace {

TArrayOfByte Stream(const std::string& content) {
    return CompressBytes(content.data(), static_cast<int32_t>(content.size()));
}

}  // namespace

// Files compressed in the order given are taken in the tree's order, each with its own
// stream; a file that cannot be read is told as a build tells it; a path is claimed once.
TEST(StreamsAhead, EachClaimedFileGetsItsOwnStreamInWhateverOrderItIsTaken) {
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> contents = {
        {"a", std::string(70000, 'a')}, {"b", "bee"}, {"c", ""}, {"d", std::string(300, 'd')}};
    std::vector<TStreamsAhead::TFile> files;
    for (const auto& [name, content] : contents) {
        WriteFile(dir / name, content);
        files.push_back({dir / name, host::Stat(dir / name)});
    }
    files.push_back({dir / "gone", host::Stat(dir / "d")});  // listed as a file, missing when read
    TStreamsAhead ahead(false, false, files, 2);

    EXPECT_EQ(ahead.Claim(dir / "elsewhere"), -1);
    for (size_t k : {3u, 0u, 4u, 2u, 1u}) {
        const int64_t number = ahead.Claim(files[k].hostPath);
        ASSERT_EQ(number, static_cast<int64_t>(k));
        EXPECT_EQ(ahead.Claim(files[k].hostPath), -1) << "claimed twice";
        const TPackedFile packed = ahead.Take(number);
        if (k == 4) {
            EXPECT_FALSE(packed.obtained);
            EXPECT_EQ(packed.problem, "No such file or directory");
            continue;
        }
        ASSERT_TRUE(packed.obtained) << k;
        EXPECT_EQ(packed.stream, Stream(contents[k].second)) << k;
        EXPECT_EQ(packed.unpackedSize, static_cast<int32_t>(contents[k].second.size())) << k;
    }
}

// Files that would cost more than a build holds in memory are not compressed ahead at all.
TEST(StreamsAhead, TooMuchIsNotStartedAndNothingCanBeClaimed) {
    TempDir dir;
    WriteFile(dir / "small", "s");
    host::EntryInfo huge = host::Stat(dir / "small");
    huge.size = int64_t{1} << 30;
    TStreamsAhead ahead(false, false, {{dir / "small", host::Stat(dir / "small")}, {dir / "small", huge}}, 2);
    EXPECT_EQ(ahead.Claim(dir / "small"), -1);
}
