// CRC-32 (the zlib and gzip polynomial): libdeflate's, with the carry-less multiply
// instructions where the processor has them, fast enough to check hundreds of megabytes on the
// way (crc32.cpp); zlib's where libdeflate is not at hand (crc32_zlib.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

// Continues crc (0 to start) over count bytes.
uint32_t Crc32(uint32_t crc, const void* bytes, size_t count);
