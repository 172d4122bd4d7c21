// The seam through which a test build makes the host's operations fail, or kills the process
// in the middle of them. The host asks before every operation it counts; who answers is
// decided when an executable is linked. The programs vpak and vpak-gui, the benchmarks and
// the fuzz targets link vpak_host_hooks_off (host_hooks_off.cpp), which never answers, reads
// no environment and takes no lock; the test executables, and vpak-test-hooks, the command
// line's twin that tests run as a child process, link vpak_host_hooks_test
// (tests/hooks/host_test_hooks.h). Each is an object library linked into executables only,
// so an executable given both fails to link instead of quietly taking one.
#pragma once

#include <optional>

namespace host::hooks {

// The operations that can be made to fail, and that the test hooks count: Read (a file's
// Read and ReadBytesAt), Write, Truncate, Flush (a file's Flush and FlushRangeAndForget, and
// FlushDirectoryOf), Rename, Remove (RemoveFile and RemoveFileQuietly).
enum class Operation { Read, Write, Truncate, Flush, Rename, Remove };

// What happens in place of an operation. A write first writes half its bytes, as a full
// disk, or a kill in the middle of the system call, can leave it.
struct Fault {
    bool kill = false;  // the process kills itself with SIGKILL
    int code = 0;       // otherwise the operation fails with this error code (EIO, ENOSPC ...)
};

// Asked before each operation; nothing lets it run as it is.
std::optional<Fault> BeforeOperation(Operation operation);

}  // namespace host::hooks
