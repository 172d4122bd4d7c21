#include "cli/list_views.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>

#include "engine/format/hash_tag.h"
#include "support/display_text.h"
#include "support/number_text.h"

namespace {

constexpr int kSizeColumnWidth = 10;   // "1023.9 KiB"
constexpr int kShareColumnWidth = 7;   // "100.0%" and a little more for streams that grew
constexpr int64_t kUnitStep = 1024;
constexpr std::array<const char*, 4> kUnits = {"KiB", "MiB", "GiB", "TiB"};
constexpr const char* kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD
constexpr size_t kOutputPiece = 64 * 1024;  // what a listing gathers before it writes

std::string Column(const std::string& text, int width) {
    if (static_cast<int>(text.size()) >= width) return text;
    return std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
}

std::string LongLine(const std::string& size, const std::string& packed, const std::string& share,
                     const std::string& path) {
    return Column(size, kSizeColumnWidth) + " " + Column(packed, kSizeColumnWidth) + " " +
           Column(share, kShareColumnWidth) + "  " + path + "\n";
}

// The length of the well-formed UTF-8 sequence at text[at], 0 when none begins there.
size_t Utf8SequenceLength(const std::string& text, size_t at) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[at + k]); };
    const auto continuation = [&](size_t k) { return at + k < text.size() && (byte(k) & 0xC0) == 0x80; };
    const uint8_t lead = byte(0);
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!continuation(1) || !continuation(2)) return 0;
        if (lead == 0xE0 && byte(1) < 0xA0) return 0;   // overlong
        if (lead == 0xED && byte(1) >= 0xA0) return 0;  // a surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
        if (lead == 0xF0 && byte(1) < 0x90) return 0;   // overlong
        if (lead == 0xF4 && byte(1) >= 0x90) return 0;  // past U+10FFFF
        return 4;
    }
    return 0;
}

std::string LowerHex(const std::string& bytes) {
    return LowerHexOfBytes(bytes.data(), bytes.size());
}

// Appends text, which is valid UTF-8, as a JSON string, escaped as nlohmann::json dumps it:
// the quote, the backslash and the control characters, the five of them with a short escape
// that way, the others as \u00xx; every other character as it is.
void AppendJsonString(std::string& out, const std::string& text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20) {
                    out += "\\u00";
                    out += kDigits[byte >> 4];
                    out += kDigits[byte & 0x0F];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

// An entry as the document holds it, inside the list of entries: the members of JsonPath,
// then the numbers and the tag, one to a line. Written out directly: building a JSON value of
// each of a million entries and dumping it costs several times as much.
void AppendJsonEntry(std::string& out, const TArchiveEntry& entry, const std::string& path) {
    const bool valid = IsValidUtf8(path);
    out += "    {\n      \"path\": ";
    AppendJsonString(out, valid ? path : ValidUtf8(path));
    if (!valid) {
        out += ",\n      \"path_bytes\": \"";
        out += LowerHex(path);
        out += '"';
    }
    const std::pair<const char*, int64_t> numbers[] = {{"data_offset", entry.dataOffset},
                                                       {"absolute_offset", entry.streamStart},
                                                       {"packed_size", entry.packedSize},
                                                       {"unpacked_size", entry.unpackedSize}};
    for (const auto& [name, value] : numbers) {
        out += ",\n      \"";
        out += name;
        out += "\": ";
        out += std::to_string(value);
    }
    out += ",\n      \"tag\": \"";
    out += TagToText(PathHashTag(path));
    out += "\"\n    }";
}

// A JSON value as it stands inside the document at the given depth: dumped with two spaces
// a level, every line after its first indented as deep as the value itself.
std::string NestedJson(const nlohmann::ordered_json& value, int depth) {
    const std::string indent(static_cast<size_t>(2 * depth), ' ');
    std::string text = value.dump(2);
    // A line break inside a dumped value only ever stands between its lines: strings carry
    // theirs escaped.
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) text.insert(at + 1, indent);
    return text;
}

}  // namespace

std::string ReadableSize(int64_t bytes) {
    if (bytes < 0) return "?";
    if (bytes < kUnitStep) return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes) / kUnitStep;
    size_t unit = 0;
    // Rounded to one decimal, 1023.96 KiB would read "1024.0 KiB": the next unit says it better.
    while (value >= kUnitStep - 0.05 && unit + 1 < kUnits.size()) {
        value /= kUnitStep;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string PackedShare(int64_t packed, int64_t unpacked) {
    if (unpacked <= 0 || packed < 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * static_cast<double>(packed) / static_cast<double>(unpacked));
    return text;
}

void WriteListing(std::ostream& out, const TArchiveIndex& index) {
    TEntryPaths paths(index);
    std::string line;
    for (const TArchiveEntry& entry : index.entries) {
        // A name holding a line feed must not fake a line of its own.
        line = PrintableText(ListingLine(entry, index.headerSize, paths.Of(entry)));
        line += '\n';
        out << line;
    }
}

void WriteLongListing(std::ostream& out, const TArchiveIndex& index) {
    out << LongLine("SIZE", "PACKED", "RATIO", "PATH");
    TEntryPaths paths(index);
    for (const TArchiveEntry& entry : index.entries)
        out << LongLine(ReadableSize(entry.unpackedSize), ReadableSize(entry.packedSize),
                        PackedShare(entry.packedSize, entry.unpackedSize), PrintableText(paths.Of(entry)));
    const TEntryTotals totals = SumEntries(index.entries);
    const std::string files = totals.files == 1 ? "1 file" : std::to_string(totals.files) + " files";
    out << LongLine(ReadableSize(totals.unpackedBytes), ReadableSize(totals.packedBytes),
                    PackedShare(totals.packedBytes, totals.unpackedBytes), "total of " + files);
}

void WriteJsonListing(std::ostream& out, const TArchiveIndex& index, bool bigEndian) {
    out << "{\n  \"flavour\": " << nlohmann::ordered_json(bigEndian ? "xbox360" : "pc").dump() << ",\n  \"entries\": ";
    if (index.entries.empty()) {
        out << "[]";
    } else {
        std::string text = "[\n";
        TEntryPaths paths(index);
        for (size_t i = 0; i < index.entries.size(); ++i) {
            const TArchiveEntry& entry = index.entries[i];
            AppendJsonEntry(text, entry, paths.Of(entry));
            text += i + 1 < index.entries.size() ? ",\n" : "\n";
            if (text.size() >= kOutputPiece) {
                out << text;
                text.clear();
            }
        }
        out << text << "  ]";
    }
    const TEntryTotals totals = SumEntries(index.entries);
    const nlohmann::ordered_json totalsItem = {{"files", totals.files},
                                               {"packed_size", totals.packedBytes},
                                               {"unpacked_size", totals.unpackedBytes}};
    out << ",\n  \"totals\": " << NestedJson(totalsItem, 1) << "\n}\n";
}

nlohmann::ordered_json JsonPath(const std::string& path) {
    nlohmann::ordered_json item;
    item["path"] = ValidUtf8(path);
    if (!IsValidUtf8(path)) item["path_bytes"] = LowerHex(path);
    return item;
}

bool IsValidUtf8(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8SequenceLength(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string ValidUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8SequenceLength(text, at);
        if (length == 0) {
            out += kReplacementCharacter;
            ++at;
            continue;
        }
        out.append(text, at, length);
        at += length;
    }
    return out;
}
