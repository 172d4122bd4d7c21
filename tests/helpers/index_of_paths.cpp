#include "helpers/index_of_paths.h"

#include <gtest/gtest.h>

#include "engine/format/internal/directory_walk.h"
#include "support/paths.h"

TArchiveIndex IndexOfPaths(const std::vector<std::string>& paths) {
    TArrayOfByte directory;
    AppendInt32(0, directory);
    AppendInt32(static_cast<int32_t>(paths.size()), directory);
    for (const std::string& path : paths) {
        AppendInt32(static_cast<int32_t>(path.size()), directory);
        AppendTextToBytes(path, directory);
        for (int k = 0; k < 3; ++k) AppendInt32(1, directory);
    }
    TDirectoryImage image(directory);
    TArchiveIndex index;
    EXPECT_EQ(WalkDirectory(false, image, 20, {}, index).cursor, static_cast<int32_t>(directory.size()));
    index.directory = image.Take();
    return index;
}
