// Bytes that do not compress, for archives whose streams must keep their size.
#pragma once

#include <cstdint>
#include <random>

#include "support/bytes.h"

// The same bytes for the same seed.
TArrayOfByte RandomBytes(size_t count, uint32_t seed);
// Drawn from a generator the caller goes on using.
TArrayOfByte RandomBytes(size_t count, std::mt19937& random);
