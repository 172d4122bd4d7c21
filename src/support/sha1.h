// SHA-1 (FIPS 180-1) on libcrypto.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

using TSha1Digest = std::array<uint8_t, 20>;

TSha1Digest Sha1Digest(const void* bytes, size_t count);
