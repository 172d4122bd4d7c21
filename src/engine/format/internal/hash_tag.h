// Hash tags: engine/hash_tag.h, and what only the engine and its tests use.
#pragma once

#include "engine/internal_header.h"

#include <string>

#include "engine/format/hash_tag.h"

// The tag of a tag text: upper- or lower-case digits; a short text is padded with zeros,
// characters past the 24th are ignored.
HashTag TagFromText(const std::string& text);
// outputPath with the tag of archivePath put before its extension.
std::string AttachTag(const std::string& outputPath, const std::string& archivePath);
