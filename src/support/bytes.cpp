#include "support/bytes.h"

#include <cstring>

int32_t SwapInt32(int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    return static_cast<int32_t>((v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24));
}

int32_t FromArchiveOrder(bool bigEndian, int32_t value) {
    return bigEndian ? SwapInt32(value) : value;
}

void AppendBytes(const void* source, int32_t count, TArrayOfByte& buffer) {
    if (count <= 0) return;
    const auto* bytes = static_cast<const uint8_t*>(source);
    buffer.insert(buffer.end(), bytes, bytes + count);
}

int32_t ReadInt32At(const TArrayOfByte& buffer, size_t offset) {
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = (v << 8) | buffer[offset + k];
    return static_cast<int32_t>(v);
}

void WriteInt32At(TArrayOfByte& buffer, size_t offset, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    for (int k = 0; k < 4; ++k) buffer[offset + k] = static_cast<uint8_t>(v >> (8 * k));
}

void PutLittleEndian(uint8_t* at, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t GetLittleEndian(const uint8_t* at, int width) {
    uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | at[i];
    return value;
}
