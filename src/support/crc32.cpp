#include "support/crc32.h"

#include <libdeflate.h>

uint32_t Crc32(uint32_t crc, const void* bytes, size_t count) { return libdeflate_crc32(crc, bytes, count); }
