#include "support/crc32.h"

#include <zlib.h>

#include <limits>

// zlib's crc32, where libdeflate is not at hand: the same sums, without the carry-less
// multiply, so several times slower on large data. zlib takes at most a uInt per call.
uint32_t Crc32(uint32_t crc, const void* bytes, size_t count) {
    const auto* next = static_cast<const Bytef*>(bytes);
    uLong sum = crc;
    while (count > 0) {
        const size_t piece = count < std::numeric_limits<uInt>::max() ? count : std::numeric_limits<uInt>::max();
        sum = crc32(sum, next, static_cast<uInt>(piece));
        next += piece;
        count -= piece;
    }
    return static_cast<uint32_t>(sum);
}
