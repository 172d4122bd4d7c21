#include "support/host_errors_windows.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

// The engine tells failures apart by their errno values: each Windows error it may meet
// must arrive as the value Linux would give.
TEST(WindowsErrors, EachWindowsErrorBecomesTheErrnoTheEngineExpects) {
    struct Case {
        DWORD error;
        int expected;
    };
    const std::vector<Case> cases = {
        {ERROR_FILE_NOT_FOUND, ENOENT},     {ERROR_PATH_NOT_FOUND, ENOENT},   {ERROR_ACCESS_DENIED, EACCES},
        {ERROR_SHARING_VIOLATION, EBUSY},   {ERROR_LOCK_VIOLATION, EBUSY},    {ERROR_FILE_EXISTS, EEXIST},
        {ERROR_ALREADY_EXISTS, EEXIST},     {ERROR_DISK_FULL, ENOSPC},        {ERROR_HANDLE_DISK_FULL, ENOSPC},
        {ERROR_DIRECTORY, ENOTDIR},         {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
        {ERROR_CANT_RESOLVE_FILENAME, ELOOP}, {ERROR_NOT_SAME_DEVICE, EXDEV}, {ERROR_BROKEN_PIPE, EPIPE},
        {ERROR_GEN_FAILURE, EIO},
    };
    for (const Case& c : cases) EXPECT_EQ(host::ErrnoOfWindowsError(c.error), c.expected) << c.error;
}
