// In-place file splicing: open or close a gap inside an open file by moving its tail.
#pragma once

#include <cstdint>

class HostFile;

// The work buffer through which every move and fill goes.
inline constexpr int32_t kSpliceBlockSize = 4194304;

// Afterwards the file is count bytes longer, the bytes from position on stand count bytes
// further on, and the gap holds zero bytes. The file position is kept.
void InsertBytes(HostFile& file, int64_t position, int64_t count);

// Removes count bytes at position, moving the tail forwards and cutting the file.
// The file position is kept. A range past the end removes only what exists.
void DeleteBytes(HostFile& file, int64_t position, int64_t count);
