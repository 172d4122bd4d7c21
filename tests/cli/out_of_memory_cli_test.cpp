// A command that runs out of memory says so in words, as a raised error (status 3): the
// allocator's own name for it ("std::bad_alloc") tells a user nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "helpers/run_cli.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Enough address space to start vpak (about 50 MiB), not to read a file of 512 MiB whole.
constexpr int64_t kLimitKib = 120 * 1024;

}  // namespace

TEST(OutOfMemory, ACommandThatRunsOutOfMemorySaysSoAndEndsAsARaisedError) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no limit on it lets vpak start";
#endif
    TempDir dir;
    // Sparse: it takes no disk, only its size matters; a table is read whole to be converted.
    WriteFile(dir / "big.loc", "");
    fs::resize_file(dir / "big.loc", uintmax_t{512} << 20);

    const CliResult result = RunVpakWithMemoryLimit({"loc2txt", dir / "big.loc", dir / "big.txt"}, kLimitKib);
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "vpak: Not enough memory to finish the command\n");
    EXPECT_FALSE(fs::exists(dir / "big.txt"));
}
