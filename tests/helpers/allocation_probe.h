// Records the largest single request made to the global operator new, so a test can show
// that a size read from untrusted input did not turn into a large allocation.
#pragma once

#include <cstddef>

void ResetLargestAllocation();
size_t LargestAllocation();

// An allocation this large in a small test means a size from the input was trusted.
inline constexpr size_t kLargeAllocation = 64u * 1024u * 1024u;
