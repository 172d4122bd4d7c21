// The form under which an archive path is looked up: readers of the format find an entry in
// any ASCII letter case and with "/" or "\" between its folders.
#pragma once

#include <string>

// The path with 'A'..'Z' folded to lower case and every "/" turned into "\". Two paths name
// the same entry for `replace --path`, `cat` and `extract ARCHIVE DIR ENTRY` exactly when
// their keys are equal.
std::string ArchivePathKey(std::string path);
