// Writing archives of a directory put together by hand, for the benchmarks of hostile shapes
// (deep chains, files at every level): a directory as bytes, then the header in front of it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/bytes.h"
#include "support/zlib_adapter.h"

// Appends a little-endian 32-bit integer.
inline void PutInt(std::string& out, int32_t value) {
    for (int k = 0; k < 4; ++k) out += static_cast<char>(static_cast<uint32_t>(value) >> (8 * k));
}

// Appends a name: its length, then its bytes.
inline void PutName(std::string& out, const std::string& name) {
    PutInt(out, static_cast<int32_t>(name.size()));
    out += name;
}

// Writes a PC archive of the directory and the one stream of its data area.
inline void WriteCraftedArchive(const std::filesystem::path& path, const std::string& directory,
                                const TArrayOfByte& stream) {
    const TArrayOfByte packed = CompressBytes(directory.data(), static_cast<int32_t>(directory.size()));
    std::string header;
    PutInt(header, static_cast<int32_t>(directory.size()));
    PutInt(header, static_cast<int32_t>(8 + packed.size()));
    std::ofstream out(path, std::ios::binary);
    out << header;
    out.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(packed.size()));
    out.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
}
