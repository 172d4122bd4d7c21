// Hash tags: the first 96 bits of the SHA-1 digest of an entry's archive path (ASCII letters
// lowered, "/" turned into "\"), written into file names as ".[" + 24 hex digits + "]"
// before the extension.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "support/bytes.h"
#include "support/sha1.h"

using HashTag = std::array<uint8_t, 12>;

HashTag PathHashTag(const std::string& path);
std::string TagToText(const HashTag& tag);
HashTag TagFromText(const std::string& text);
std::string AttachTag(const std::string& outputPath, const std::string& archivePath);
std::string HashTagFromFileName(const std::string& path);
int32_t FindEntryByTag(const TStringList& lines, const HashTag& tag, int32_t cutStart, int32_t cutEnd);
