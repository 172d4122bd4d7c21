#include "support/collation.h"

#include <windows.h>

#include <cstdint>
#include <string>

#include "support/windows_names.h"

// Windows' own comparison for the user's locale, ignoring case: CompareStringEx with its
// default word sort, in which '-' and '\'' weigh less than every letter (so "co-op" sorts
// beside "coop"), as the archives' original builder sorted on Windows.
namespace {

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
