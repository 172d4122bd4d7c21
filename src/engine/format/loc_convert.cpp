#include "engine/format/loc_convert.h"

#include <cstring>
#include <limits>
#include <string_view>

#include "engine/format/internal/loc_convert.h"
#include "support/existence.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "support/whole_file.h"

namespace {

constexpr size_t kCountSize = 4;
constexpr size_t kOffsetSize = 4;
constexpr char kLineEnd[] = "\r\n";
// Every table written from text starts its character area with this marker; no offset
// refers to it.
constexpr char kMarker[] = "ZORVEL";
constexpr uint8_t kFirstPrintable = 0x20;
constexpr size_t kEscapeDigits = 2;
constexpr int64_t kLineEndLength = sizeof kLineEnd - 1;

bool IsEscapeIntroducer(char c) { return c == '\\' || c == '~'; }

bool NeedsEscape(char c) {
    return static_cast<uint8_t>(c) < kFirstPrintable || IsEscapeIntroducer(c);
}

// Splits a binary table into its decoded form, offsets in host order. Sizes are worked
// out in 64 bits: a count near 2^30 would wrap a 32-bit table size into a small number.
bool DecodeLocTable(bool bigEndian, const TArrayOfByte& buffer, Veldane_LOC_Type& table) {
    const int64_t length = static_cast<int64_t>(buffer.size());
    if (length < static_cast<int64_t>(kCountSize)) return false;

    const int32_t count = FromArchiveOrder(bigEndian, ReadInt32At(buffer, 0));
    if (count < 0) return false;
    const int64_t charsStart = static_cast<int64_t>(kCountSize) + static_cast<int64_t>(kOffsetSize) * count;
    if (charsStart > length) return false;

    table.count = count;
    table.offsets.resize(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        table.offsets[i] = FromArchiveOrder(bigEndian, ReadInt32At(buffer, kCountSize + kOffsetSize * i));
    table.text.assign(buffer.begin() + charsStart, buffer.end());
    return true;
}

// The string at offset: its bytes up to the next NUL or the end of the character area.
std::string StringAt(const TArrayOfChar& chars, size_t offset) {
    const char* start = chars.data() + offset;
    const size_t available = chars.size() - offset;
    const void* nul = std::memchr(start, 0, available);
    const size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - start) : available;
    return std::string(start, length);
}

int64_t MaxTextLength(int64_t tableLength) {
    return tableLength * kLocTextBound.perTableByte + kLocTextBound.allowance;
}

// Finds the next line of text from pos. A line ends at CR LF, a lone CR or a lone LF; a
// last line without a line end still counts, but a line end at the very end starts none.
bool NextLine(std::string_view text, size_t& pos, std::string& line) {
    if (pos >= text.size()) return false;
    const size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
        line.assign(text.substr(pos));
        pos = text.size();
        return true;
    }
    line.assign(text.substr(pos, end - pos));
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    return true;
}

// The text a table is made from ends at its first NUL byte.
std::string_view TextBeforeNul(const TArrayOfByte& content) {
    if (content.empty()) return {};
    const auto* chars = reinterpret_cast<const char*>(content.data());
    const void* nul = std::memchr(chars, 0, content.size());
    const size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - chars) : content.size();
    return std::string_view(chars, length);
}

// The decoded table of a text, offsets in host order.
Veldane_LOC_Type TableFromText(std::string_view text) {
    Veldane_LOC_Type table;
    AppendTextToChars(kMarker, table.text);
    table.text.push_back('\0');
    size_t pos = 0;
    std::string line;
    while (NextLine(text, pos, line)) {
        UnescapeLocText(line);
        table.offsets.push_back(static_cast<int32_t>(table.text.size()));
        AppendTextToChars(line, table.text);
        table.text.push_back('\0');
    }
    table.count = static_cast<int32_t>(table.offsets.size());
    return table;
}

// Sizes and offsets of a table are signed 32-bit values; a bigger table would wrap them.
bool FitsLocLimits(const Veldane_LOC_Type& table) {
    const auto limit = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    return kCountSize + kOffsetSize * table.offsets.size() + table.text.size() <= limit;
}

void WriteLocTable(bool bigEndian, const Veldane_LOC_Type& table, TArrayOfByte& buffer) {
    buffer.clear();
    buffer.reserve(kCountSize + kOffsetSize * table.offsets.size() + table.text.size());
    AppendInt32(FromArchiveOrder(bigEndian, table.count), buffer);
    for (const int32_t offset : table.offsets) AppendInt32(FromArchiveOrder(bigEndian, offset), buffer);
    AppendBytes(table.text.data(), static_cast<int32_t>(table.text.size()), buffer);
}

}  // namespace

void EscapeLocText(std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        if (NeedsEscape(c)) {
            escaped += '\\';
            escaped += HexByte(static_cast<uint8_t>(c));
        } else {
            escaped += c;
        }
    }
    text = std::move(escaped);
}

void UnescapeLocText(std::string& text) {
    std::string plain;
    plain.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i++];
        // An introducer with nothing after it stands for itself.
        if (!IsEscapeIntroducer(c) || i == text.size()) {
            plain += c;
            continue;
        }
        // A digit cut off by the end of the line counts as 0, so "\4" at the end is 0x40.
        std::string digits = text.substr(i, kEscapeDigits);
        i += digits.size();
        digits.resize(kEscapeDigits, '0');
        plain += static_cast<char>(HexToInt(digits) & 0xFF);
    }
    text = std::move(plain);
}

bool LocToText(bool bigEndian, TArrayOfByte& buffer) {
    const int64_t maxText = MaxTextLength(static_cast<int64_t>(buffer.size()));
    Veldane_LOC_Type table;
    if (!DecodeLocTable(bigEndian, buffer, table)) return false;

    buffer.clear();
    int32_t errors = 0;
    const auto areaLength = static_cast<int64_t>(table.text.size());
    // A bad offset loses only its own line; the other strings are still converted.
    for (const int32_t offset : table.offsets) {
        if (offset < 0 || offset >= areaLength) {
            ++errors;
            continue;
        }
        std::string line = StringAt(table.text, static_cast<size_t>(offset));
        EscapeLocText(line);
        // Checked before the text grows, so a bomb is refused without holding its text.
        if (static_cast<int64_t>(buffer.size() + line.size()) + kLineEndLength > maxText) return false;
        AppendTextToBytes(line, buffer);
        AppendTextToBytes(kLineEnd, buffer);
    }
    return errors == 0;
}

bool TextToLoc(bool bigEndian, const std::string& path, TArrayOfByte& buffer) {
    if (!FileExistsSafe(path)) return false;
    TArrayOfByte content;
    if (!ReadWholeFile(path, content)) return false;
    return TextBytesToLoc(bigEndian, content, buffer);
}

bool TextBytesToLoc(bool bigEndian, const TArrayOfByte& text, TArrayOfByte& buffer) {
    const Veldane_LOC_Type table = TableFromText(TextBeforeNul(text));
    if (!FitsLocLimits(table)) return false;
    WriteLocTable(bigEndian, table, buffer);
    return true;
}

bool IsLocFileName(const std::string& name) {
    return LowerAscii(SplitPath(name).ext) == ".loc";
}
