// The seam through which a test build makes the host's operations fail, or kills the process
// in the middle of them. The host asks before every operation it counts; who answers is
// decided when an executable is linked. The programs vpak and vpak-gui, the benchmarks and
// the fuzz targets link vpak_host_hooks_off (host_hooks_off.cpp), which never answers, reads
// no environment and takes no lock; the test executables, and vpak-test-hooks, the command
// line's twin that tests run as a child process, link vpak_host_hooks_test
// (tests/hooks/host_test_hooks.h). Each is an object library linked into executables only,
// so an executable given both fails to link instead of quietly taking one.
//
// The host also tells the hooks of every change it has made to files and names, so that a
// test can record a run and replay a power cut at any moment of it (tests/hooks/power_cut.h).
// The shipped programs' answer is an empty function: a change costs them one call, and no
// byte is copied.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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
    // Otherwise, for a flush, it is left out and succeeds: a test that recovers thousands of
    // crash images does not wait for a disk on which each flush takes milliseconds.
    bool skip = false;
};

// Asked before each operation; nothing lets it run as it is.
std::optional<Fault> BeforeOperation(Operation operation);

// The changes that decide what a power cut leaves: the content of open files (Create: a file
// opened by creating it, or cut to nothing by opening it; Write; Truncate) and what reaches
// the disk (FlushFile: fsync; FlushRange: FlushRangeAndForget, which writes a range's pages
// but not the file's size or other metadata), and the names in a directory (Rename, Remove,
// FlushDirectory).
enum class Change { Create, Write, Truncate, FlushFile, FlushRange, FlushDirectory, Rename, Remove };

// One change, as it was done. The pointers are valid during the call only.
struct ChangeDone {
    Change change = Change::Write;
    int fd = -1;                      // the open file (Create, Write, Truncate, FlushFile, FlushRange)
    const std::string* path = nullptr;  // Create, Remove; Rename's old name; FlushDirectory's directory
    const std::string* to = nullptr;    // Rename's new name
    int64_t offset = 0;               // Write, FlushRange; Truncate: the size the file was cut to
    int64_t count = 0;                // Write, FlushRange
    // Write: the bytes written, or null when the kernel copied them from another file (they
    // are then read back from fd).
    const void* bytes = nullptr;
};

// Told after each change has been made; a write cut short by a fault tells what it wrote.
void AfterChange(const ChangeDone& done);

// Told when the host has looked at an existing file that it means to open and write in
// place, between that look and the open: a test can give the name to something else there,
// as another user racing the host could. folder is the descriptor of the folder that holds
// name.
void BeforeOpeningExisting(int folder, const std::string& name);

// Asked when the host measures the free space of a file system; a value stands in for what
// the system says, so that a test can run an update as on a nearly full disk.
std::optional<int64_t> AvailableSpace();

}  // namespace host::hooks
