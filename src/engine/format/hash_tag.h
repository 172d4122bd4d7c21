// Hash tags: the first 96 bits of the SHA-1 digest of an entry's archive path (ASCII letters
// lowered, "/" turned into "\"), written into file names as ".[" + 24 hex digits + "]"
// before the extension.
#pragma once

#include <array>
#include <cstdint>
#include <string>

using HashTag = std::array<uint8_t, 12>;

// The tag of an archive path; the empty path has the all-zero tag.
HashTag PathHashTag(const std::string& path);
// The 24 lower-case hexadecimal digits of a tag.
std::string TagToText(const HashTag& tag);
// The tag text a file name carries before its extension ("menu.[tag].loc"); "" when none fits.
std::string HashTagFromFileName(const std::string& path);
