// A count with the noun it counts, in the words a user reads: "1 file", "1,234 files".
#pragma once

#include <cstdint>
#include <string>

#include "support/number_text.h"

// The count grouped in thousands, then the singular where the count is 1, else the plural.
inline std::string Counted(int64_t count, const std::string& singular, const std::string& plural) {
    return GroupThousands(count) + " " + (count == 1 ? singular : plural);
}

// For a noun whose plural takes an "s".
inline std::string Counted(int64_t count, const std::string& singular) {
    return Counted(count, singular, singular + "s");
}
