// SHA-1 (FIPS 180-1): libcrypto on Linux (sha1.cpp), CNG on Windows (sha1_windows.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

using TSha1Digest = std::array<uint8_t, 20>;

TSha1Digest Sha1Digest(const void* bytes, size_t count);

// A digest fed piece by piece, for data too large to hold at once. Digest() may be taken
// at any point and the feeding go on.
class TSha1Stream {
public:
    TSha1Stream();
    ~TSha1Stream();
    TSha1Stream(const TSha1Stream&) = delete;
    TSha1Stream& operator=(const TSha1Stream&) = delete;

    void Update(const void* bytes, size_t count);
    TSha1Digest Digest() const;

private:
    struct TState;
    std::unique_ptr<TState> state_;
};
