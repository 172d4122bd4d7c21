#include "helpers/random_bytes.h"

TArrayOfByte RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    return RandomBytes(count, random);
}

TArrayOfByte RandomBytes(size_t count, std::mt19937& random) {
    TArrayOfByte bytes(count);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}
