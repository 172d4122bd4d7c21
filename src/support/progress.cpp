#include "support/progress.h"

uint32_t PackProgress(int64_t total, int64_t done) {
    constexpr int64_t kHalfMax = 0xFFFF;
    if (total > kHalfMax) {
        // Scale both halves alike; rounding done up keeps "finished" at 100 %.
        done = (done * kHalfMax + total - 1) / total;
        total = kHalfMax;
    }
    return (static_cast<uint32_t>(total) << 16) | (static_cast<uint32_t>(done) & 0xFFFFu);
}
