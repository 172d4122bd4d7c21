// The listings of `list` (one line per file, as the engine's listing has it), `list --long`
// (for a person) and `list --json` (for programs), each written out as it is made: however
// large a listing, it is never held whole.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "engine/reading/archive_entries.h"

// A size as a person reads it: "512 B", "1.5 KiB", "20.0 MiB", "2.0 GiB" (powers of 1024,
// one decimal from KiB on); "?" for a negative size a damaged record gives.
std::string ReadableSize(int64_t bytes);

// The packed size as a share of the size: "39.1%"; "-" for an empty file.
std::string PackedShare(int64_t packed, int64_t unpacked);

// The listing's lines, control bytes escaped, each ended by a line feed.
void WriteListing(std::ostream& out, const TArchiveIndex& index);

// A heading, one line per entry (size, packed size, share, path as list prints it), then
// the totals.
void WriteLongListing(std::ostream& out, const TArchiveIndex& index);

// One JSON document: the flavour, every entry, the totals. A path that is not valid UTF-8
// is given with each byte outside a valid sequence as U+FFFD in "path", and exactly in
// "path_bytes" (lower-case hexadecimal).
void WriteJsonListing(std::ostream& out, const TArchiveIndex& index, bool bigEndian);


// A path as the JSON documents give it: {"path": the path with each byte outside a valid
// UTF-8 sequence as U+FFFD}, and, only where it is not valid UTF-8, "path_bytes": its exact
// bytes in lower-case hexadecimal. Control bytes are left to JSON's own escapes.
nlohmann::ordered_json JsonPath(const std::string& path);

// True when text is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(const std::string& text);

// The text with every byte that does not belong to a well-formed UTF-8 sequence replaced by
// U+FFFD.
std::string ValidUtf8(const std::string& text);
