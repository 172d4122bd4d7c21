#include "support/fast_inflate.h"

// The same on every platform, around InflateExactSizeIntoRoom (libdeflate's or zlib's).
TInflateOutcome InflateExactSize(const void* source, int32_t count, int32_t expectedSize, TArrayOfByte& output) {
    output.clear();
    TInflateOutcome outcome = TInflateOutcome::OtherSize;
    try {
        outcome = InflateExactSizeIntoRoom(source, count, expectedSize, output);
    } catch (...) {
        TArrayOfByte().swap(output);
        throw;
    }
    if (outcome != TInflateOutcome::Exact) TArrayOfByte().swap(output);
    return outcome;
}
