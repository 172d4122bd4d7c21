#include "support/collation.h"

#include <unicode/ucol.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

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

}  // namespace

int CompareTextNoCase(const std::string& a, const std::string& b) {
    UCollator* collator = Collator();
    if (collator == nullptr) return a.compare(b);
    UErrorCode status = U_ZERO_ERROR;
    // The collator is shared between threads: ucol_strcoll is safe on a const collator.
    const UCollationResult r = ucol_strcollUTF8(collator, a.data(), static_cast<int32_t>(a.size()), b.data(),
                                                static_cast<int32_t>(b.size()), &status);
    if (U_FAILURE(status)) return a.compare(b);
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

bool CollationLess(const std::string& a, const std::string& b) {
    const int c = CompareTextNoCase(a, b);
    if (c != 0) return c < 0;
    return a < b;
}
