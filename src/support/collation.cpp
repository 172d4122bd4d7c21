#include "support/collation.h"

#include <unicode/ucol.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// The user's collation locale. "C" and "POSIX" would give ICU's en_US_POSIX, whose order is
// plain code points and does not ignore case, so they (and no locale) mean ICU's root.
std::string CollationLocale() {
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        std::string locale(value);
        locale = locale.substr(0, locale.find_first_of(".@"));
        if (locale == "C" || locale == "POSIX") return "";
        return locale;
    }
    return "";
}

UCollator* OpenCollator() {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(CollationLocale().c_str(), &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        collator = ucol_open("", &status);
    }
    if (collator != nullptr) ucol_setStrength(collator, UCOL_SECONDARY);
    return collator;
}

UCollator* Collator() {
    static UCollator* collator = OpenCollator();
    return collator;
}

bool IsWellFormedUtf8(const std::string& text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

// Names are raw bytes, often in a single-byte code page rather than UTF-8. Handed to ICU as
// UTF-8, every such byte would become U+FFFD and "caf\xE9" would equal "caf\xE8"; so a byte
// that does not start a well-formed UTF-8 sequence stands for the Latin-1 character of its value.
std::vector<UChar> ToCollationText(const std::string& text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = static_cast<int32_t>(text.size());
    std::vector<UChar> units;
    units.reserve(text.size());
    for (int32_t i = 0; i < length;) {
        const int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) {
            c = bytes[start];
            i = start + 1;
        }
        if (U16_LENGTH(c) == 1) {
            units.push_back(static_cast<UChar>(c));
        } else {
            units.push_back(U16_LEAD(c));
            units.push_back(U16_TRAIL(c));
        }
    }
    return units;
}

UCollationResult Collate(UCollator* collator, const std::string& a, const std::string& b, UErrorCode& status) {
    if (IsWellFormedUtf8(a) && IsWellFormedUtf8(b))
        return ucol_strcollUTF8(collator, a.data(), static_cast<int32_t>(a.size()), b.data(),
                                static_cast<int32_t>(b.size()), &status);
    const std::vector<UChar> ua = ToCollationText(a);
    const std::vector<UChar> ub = ToCollationText(b);
    return ucol_strcoll(collator, ua.data(), static_cast<int32_t>(ua.size()), ub.data(),
                        static_cast<int32_t>(ub.size()));
}

}  // namespace

int CompareTextNoCase(const std::string& a, const std::string& b) {
    UCollator* collator = Collator();
    if (collator == nullptr) return a.compare(b);
    UErrorCode status = U_ZERO_ERROR;
    // The collator is shared between threads: ucol_strcoll is safe on a const collator.
    const UCollationResult r = Collate(collator, a, b, status);
    if (U_FAILURE(status)) return a.compare(b);
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

bool CollationLess(const std::string& a, const std::string& b) {
    const int c = CompareTextNoCase(a, b);
    if (c != 0) return c < 0;
    return a < b;
}
