#include <gtest/gtest.h>

#include "helpers/temp_dir.h"
#include "support/existence.h"

TEST(ExistenceTests, FileAndDirectoryAreTellApart) {
    TempDir dir;
    WriteFile(dir / "f.txt", "x");
    EXPECT_TRUE(FileExistsSafe(dir / "f.txt"));
    EXPECT_FALSE(DirExistsSafe(dir / "f.txt"));
    EXPECT_FALSE(FileExistsSafe(dir.Path()));
    EXPECT_TRUE(DirExistsSafe(dir.Path()));
    EXPECT_TRUE(DirExistsSafe(dir.Path() + "/"));
    EXPECT_FALSE(FileExistsSafe(""));
    EXPECT_FALSE(DirExistsSafe(""));
    EXPECT_FALSE(FileExistsSafe(dir / "missing"));
}
