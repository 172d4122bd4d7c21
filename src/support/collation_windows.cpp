#include "support/collation.h"

#include <windows.h>

#include <cstdint>
#include <string>

// Windows' own comparison for the user's locale, ignoring case: CompareStringEx with its
// default word sort, in which '-' and '\'' weigh less than every letter (so "co-op" sorts
// beside "coop"), as the archives' original builder sorted on Windows.
namespace {

// The code point of the well-formed UTF-8 sequence at text[i], advancing i past it, or -1
// (i unchanged) when none starts there: no overlong forms, surrogates or values past U+10FFFF.
int32_t NextUtf8(const std::string& text, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    else return -1;
    if (i + length > text.size()) return -1;
    int32_t c = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const uint8_t next = byte(i + k);
        if ((next & 0xC0) != 0x80) return -1;
        c = (c << 6) | (next & 0x3F);
    }
    const int32_t least = length == 2 ? 0x80 : (length == 3 ? 0x800 : 0x10000);
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
    i += length;
    return c;
}

// Names are raw bytes, often in a single-byte code page rather than UTF-8: a byte that does
// not start a well-formed UTF-8 sequence stands for the Latin-1 character of its value, so
// "caf\xE9" and "caf\xE8" stay apart.
std::wstring ToCollationText(const std::string& text) {
    std::wstring units;
    units.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        int32_t c = NextUtf8(text, i);
        if (c < 0) c = static_cast<uint8_t>(text[i++]);
        if (c < 0x10000) {
            units.push_back(static_cast<wchar_t>(c));
        } else {
            c -= 0x10000;
            units.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
            units.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
        }
    }
    return units;
}

}  // namespace

int CompareTextNoCase(const std::string& a, const std::string& b) {
    const std::wstring wa = ToCollationText(a);
    const std::wstring wb = ToCollationText(b);
    const int r = CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, wa.data(), static_cast<int>(wa.size()),
                                  wb.data(), static_cast<int>(wb.size()), nullptr, nullptr, 0);
    if (r == 0) return a.compare(b);
    return r == CSTR_LESS_THAN ? -1 : (r == CSTR_GREATER_THAN ? 1 : 0);
}

bool CollationLess(const std::string& a, const std::string& b) {
    const int c = CompareTextNoCase(a, b);
    if (c != 0) return c < 0;
    return a < b;
}
