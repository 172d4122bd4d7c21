// Choosing entries of an archive by the paths a user types: any ASCII letter case, "/" or "\"
// between folders, "*" and "?" inside one part of a path, "**" for any number of parts, and
// a folder standing for everything below it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/format/archive_index.h"

struct TEntryPattern {
    std::string text;                     // as the user typed it, for messages
    std::vector<std::string> components;  // its parts, each as EntryPathKey gives it (literal: as they are)
    bool literal = false;                 // an exact path: "*", "?" and "**" stand for themselves, and
                                          // a file's own name counts in its letter case
};

// Why the text cannot select entries, in words for the user: it is empty, begins at a root
// ("/", "\" or a drive), or holds an empty, "." or ".." part. "" when it can; a separator at
// its end is allowed (a folder named as such).
std::string EntryPatternProblem(const std::string& text);

// The parts of a path a user typed, as typed: the runs between "/" or "\", separators at
// the end dropped; none for "".
std::vector<std::string> EntryPathParts(const std::string& text);

// The pattern of a text for which EntryPatternProblem is "". A literal one names paths as
// they are, for callers that hold an entry's exact path, which may contain "*" or "?": its
// folders in any letter case, as one folder stands for every spelling of it, and a file in
// exactly its own, as two files may differ only in letter case.
TEntryPattern ParseEntryPattern(const std::string& text, bool literal = false);

// True when the pattern names the archive path itself or a folder it lies in.
bool PatternSelects(const TEntryPattern& pattern, const std::string& archivePath);

// True when one part of a path matches one part of a pattern ("*": any run of bytes, "?":
// one byte). Both are keys.
bool ComponentMatches(const std::string& patternPart, const std::string& part);

struct TEntrySelection {
    std::vector<size_t> indices;        // the entries selected, in directory order, each once
    std::vector<std::string> unmatched;  // the text of every pattern that selected nothing
};

// The entries of an archive's index that any of the patterns select.
TEntrySelection SelectEntries(const TArchiveIndex& index, const std::vector<TEntryPattern>& patterns);
