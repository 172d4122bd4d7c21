// Locale-aware, case-insensitive comparison of names (ICU, user's locale, secondary strength).
#pragma once

#include <string>

// <0, 0 or >0; names that differ only in letter case compare equal.
int CompareTextNoCase(const std::string& a, const std::string& b);

// A strict order for sorting: the collation first, ties broken by the bytes, so a sort
// gives one order whatever order its input had.
bool CollationLess(const std::string& a, const std::string& b);
