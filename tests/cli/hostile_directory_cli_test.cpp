// Small archives whose directories ask for far more than their size, through the real
// executable: each is refused, or listed, in memory that follows the records it holds.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "helpers/archive_writer.h"
#include "helpers/crafted_archives.h"
#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"
#include "support/zlib_adapter.h"

namespace {

// A child's peak starts from the peak of the process it was started from (the kernel carries
// the old memory's high-water mark across exec), so this test's own peak is the floor; a
// sanitizer build makes that floor large.
// AddressSanitizer also holds freed memory back for a while (its quarantine, 256 MiB).
int64_t LittleMemory() {
    rusage self {};
    getrusage(RUSAGE_SELF, &self);
    int64_t little = static_cast<int64_t>(self.ru_maxrss) * 1024 + (int64_t{64} << 20);
#if defined(__SANITIZE_ADDRESS__)
    little += int64_t{256} << 20;
#endif
    return little;
}

class HostileDirectory : public ::testing::Test {
protected:
    TempDir dir;
    std::string archive = dir / "hostile.pak";

    std::string Refusal(const std::string& reason) const {
        return "Error :-(\nvpak: cannot read the archive \"" + archive + "\": " + reason + "\n";
    }
};

}  // namespace

// A few megabytes of zlib stream that inflate to a gigabyte of zeros: the root record ends
// after 8 bytes, and the rest is never held.
TEST_F(HostileDirectory, AGigabyteDirectoryOfZerosIsRefusedInLittleMemory) {
    int64_t inflated = 0;
    const TArrayOfByte zeros = ZeroRunStream(int64_t{1} << 30, inflated);
    WriteFile(archive, ArchiveDeclaringDirectory(zeros, static_cast<int32_t>(inflated)));
    ASSERT_LT(zeros.size(), 8u << 20);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", archive}, {"list", "--json", archive}, {"extract", archive, dir / "out"}}) {
        const CliResult r = RunVpak(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
        EXPECT_EQ(r.err, Refusal("its directory is damaged")) << args[0];
        EXPECT_LT(r.peakMemoryBytes, LittleMemory()) << args[0];
    }
}

// Every line would repeat fifteen names of 60,000 bytes: terabytes of listing from 50 KB.
TEST_F(HostileDirectory, FilesBelowFoldersOfLongNamesAreRefusedInLittleMemory) {
    WriteFile(archive, LongFolderNamesArchive(15, 17000, true));
    for (const std::vector<std::string>& args : {std::vector<std::string>{"list", archive},
                                                 {"list", "--long", archive}, {"extract", archive, dir / "out"},
                                                 {"add", archive, archive}}) {
        const CliResult r = RunVpak(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.err, Refusal("its directory lists more than an archive of its size can hold")) << args[0];
        EXPECT_LT(r.peakMemoryBytes, LittleMemory()) << args[0];
    }
}

// The listing that is asked for may be large; the memory that prints it is not.
TEST_F(HostileDirectory, ListingsOfLongPathsAreWrittenOutAsTheyAreMade) {
    WriteFile(archive, LongFolderNamesArchive(2, 500, false));
    const std::string out = dir / "listing";
    const struct {
        const char* view;
        std::string lastLine;
    } cases[] = {{"", std::string("*b") + std::string(59999, 'b') + "\\f499\n"},
                 {"--long", "total of 1000 files\n"},
                 {"--json", "}\n"}};
    for (const auto& c : cases) {
        const CliResult r = RunVpakWritingTo(*c.view != '\0' ? std::vector<std::string>{"list", c.view, archive}
                                                             : std::vector<std::string>{"list", archive},
                                             out);
        ASSERT_EQ(r.status, 0) << c.view << r.err;
        const auto size = std::filesystem::file_size(out);
        EXPECT_GT(size, 1000u * 60000u) << c.view;
        std::ifstream listing(out, std::ios::binary);
        listing.seekg(static_cast<std::streamoff>(size - c.lastLine.size()));
        std::string last(c.lastLine.size(), '\0');
        listing.read(last.data(), static_cast<std::streamsize>(last.size()));
        EXPECT_EQ(last, c.lastLine) << c.view;
        EXPECT_LT(r.peakMemoryBytes, LittleMemory()) << c.view;
    }
}
