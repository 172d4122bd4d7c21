// The progress callback that long operations take. The position word carries the total in
// its upper 16 bits and the 1-based number of items done in its lower 16 bits; 0 for a
// report without position. An empty function means "no callback".
#pragma once

#include <cstdint>
#include <functional>

using ProgressProc = std::function<void(uint32_t position, const char* text)>;

// Packs done out of total into a position word. Totals above 65,535 scale both halves by the
// same factor so that they fit 16 bits and the percentage stays right.
uint32_t PackProgress(int64_t total, int64_t done);

// Reports only when a callback is present.
inline void Report(const ProgressProc& progress, uint32_t position, const char* text) {
    if (progress) progress(position, text);
}
