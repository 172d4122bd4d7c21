// In-place file splicing: open or close a gap inside an open file by moving its tail.
#pragma once

#include <cstdint>
#include <vector>

class HostFile;

// The work buffer through which every move and fill goes. After each block the caller of the
// operation hears from it (KeepAlive), and may stop it there.
inline constexpr int32_t kSpliceBlockSize = 4194304;

// Afterwards the file is count bytes longer, the bytes from position on stand count bytes
// further on, and the gap holds zero bytes. The file position is kept.
void InsertBytes(HostFile& file, int64_t position, int64_t count);

// Removes count bytes at position, moving the tail forwards and cutting the file.
// The file position is kept. A range past the end removes only what exists.
void DeleteBytes(HostFile& file, int64_t position, int64_t count);

// One run of bytes to move inside a file: length bytes from from to to.
struct TRangeMove {
    int64_t from = 0;
    int64_t to = 0;
    int64_t length = 0;
};

// Moves every run in one pass, each byte read and written once, through the work buffer.
// The runs must be in ascending order of from, and their destinations in the same order
// without overlapping each other; a destination may overlap any run's source. Runs moving
// towards the start are moved first, front to back, then those moving towards the end, back
// to front, so that no byte is overwritten before it has been moved. Bytes outside the
// destinations keep whatever they held. The file position is kept.
void MoveRanges(HostFile& file, const std::vector<TRangeMove>& moves);
