// Fault injection, and the listener of the host's changes, for tests: the test build's side
// of the seam in support/host_hooks.h. It is linked into the test executables and into
// vpak-test-hooks, the twin of the command line that the tests of faults and kills in a child
// process run; the shipped programs link the hooks that do nothing instead, and never read
// the environment variables below.
#pragma once

#include <cstdint>
#include <optional>

#include "support/host_hooks.h"

namespace host::hooks {

// Makes the nth operation of that kind from now on fail with code (EIO, ENOSPC ...); with
// persistent, every later one as well. A failing write first writes half its bytes, as a
// full disk can. The environment variable VPAK_TEST_FAULT ("write:3:ENOSPC", with
// ":persistent" appended for a lasting fault) sets the same for a child process.
void FailNth(Operation operation, int64_t nth, int code, bool persistent = false);
void ClearFaults();

// While on, every flush (a file's Flush and FlushRangeAndForget, FlushDirectoryOf) is left
// out and succeeds, unless a fault above strikes it.
void SkipFlushes(bool skip);

// Operations of every kind done so far by this process. The environment variable
// VPAK_TEST_KILL_AT=N makes the process kill itself with SIGKILL instead of doing its Nth
// operation (a write first writes half its bytes), for tests of interrupted writes.
int64_t OperationCount();

// Hears every change the host makes (AfterChange in host_hooks.h) while it listens; the
// power-cut recorder (power_cut.h) is one. Calls come one at a time, from any thread.
class ChangeListener {
public:
    virtual void Changed(const ChangeDone& done) = 0;

protected:
    ~ChangeListener() = default;
};

// Makes the host take available bytes for the free space of every file system, as on a
// nearly full disk (none: what the system says). The environment variable
// VPAK_TEST_AVAILABLE=N sets the same for a child process.
void SetAvailableSpace(std::optional<int64_t> available);

// The free space the host reports while it lives.
class StatedSpace {
public:
    explicit StatedSpace(std::optional<int64_t> available) { SetAvailableSpace(available); }
    ~StatedSpace() { SetAvailableSpace(std::nullopt); }
    StatedSpace(const StatedSpace&) = delete;
    StatedSpace& operator=(const StatedSpace&) = delete;
};

// While on, each existing file the host means to write in place is moved aside to its name
// with ".moved" appended between the host's look at it and its open, and a symbolic link to
// it put under its name, as another user who may write in the folder could do. The
// environment variable VPAK_TEST_LINK_BEFORE_OPEN=1 sets the same for a child process.
void SwapForLinkBeforeOpening(bool swap);

// Makes listener the one that hears the changes from now on (nullptr: none).
void ListenToChanges(ChangeListener* listener);

}  // namespace host::hooks
