// Locale-aware, case-insensitive comparison of names: an ICU collator at secondary strength
// on Linux (collation.cpp), CompareStringEx on Windows (collation_windows.cpp); both for the
// user's locale.
#pragma once

#include <string>

// <0, 0 or >0; names that differ only in letter case compare equal.
int CompareTextNoCase(const std::string& a, const std::string& b);

// A strict order for sorting: the collation first, ties broken by the bytes, so a sort
// gives one order whatever order its input had.
bool CollationLess(const std::string& a, const std::string& b);
