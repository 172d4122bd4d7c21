#include "engine/extraction/entry_selection.h"

#include <utility>

#include "engine/format/internal/entry_key.h"
#include "support/number_text.h"

namespace {

constexpr const char* kAnyDepth = "**";

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsDrive(const std::string& part) {
    return part.size() >= 2 && part[1] == ':' &&
           ((part[0] >= 'A' && part[0] <= 'Z') || (part[0] >= 'a' && part[0] <= 'z'));
}

// The parts between separators; separators at the end name a folder and are dropped.
std::vector<std::string> SplitParts(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && IsSeparator(text[end - 1])) --end;
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= end; ++i) {
        if (i < end && !IsSeparator(text[i])) continue;
        parts.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    return parts;
}

// The parts of an archive path, as keys, or exactly as they are (only "/" taken as "\\").
std::vector<std::string> PathParts(const std::string& archivePath, bool exact) {
    std::string key = exact ? archivePath : EntryPathKey(archivePath);
    SlashesToBackslashes(key);
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = key.find('\\', start);
        parts.push_back(key.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

}  // namespace

std::vector<std::string> EntryPathParts(const std::string& text) {
    if (text.empty()) return {};
    return SplitParts(text);
}

std::string EntryPatternProblem(const std::string& text) {
    if (text.empty()) return "an empty path selects nothing";
    if (IsSeparator(text.front())) return "it begins at a root; name the path inside the archive";
    const std::vector<std::string> parts = SplitParts(text);
    if (parts.empty()) return "it begins at a root; name the path inside the archive";
    if (IsDrive(parts.front())) return "it begins with a drive; name the path inside the archive";
    for (const std::string& part : parts) {
        if (part.empty()) return "it holds an empty part (two separators in a row)";
        if (part == "." || part == "..") return "it holds a \".\" or \"..\" part, which no extracted file may have";
    }
    return "";
}

TEntryPattern ParseEntryPattern(const std::string& text, bool literal) {
    TEntryPattern pattern{text, {}, literal};
    for (std::string& part : SplitParts(text)) pattern.components.push_back(literal ? part : EntryPathKey(part));
    return pattern;
}

bool ComponentMatches(const std::string& patternPart, const std::string& part) {
    // Greedy matching with one point to come back to: the last "*" seen and where its run
    // ended, which is enough for patterns without nested alternatives.
    size_t p = 0;
    size_t s = 0;
    size_t starAt = std::string::npos;
    size_t resumeAt = 0;
    while (s < part.size()) {
        if (p < patternPart.size() && (patternPart[p] == '?' || patternPart[p] == part[s])) {
            ++p;
            ++s;
        } else if (p < patternPart.size() && patternPart[p] == '*') {
            starAt = p++;
            resumeAt = s;
        } else if (starAt != std::string::npos) {
            p = starAt + 1;
            s = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < patternPart.size() && patternPart[p] == '*') ++p;
    return p == patternPart.size();
}

namespace {

// A literal path names a folder the way the tree shows it, standing for every spelling of it
// in the archive, and a file exactly: two files may differ only in letter case.
bool LiteralSelects(const TEntryPattern& pattern, const std::string& archivePath) {
    const std::vector<std::string> keys = PathParts(archivePath, false);
    const std::vector<std::string>& wanted = pattern.components;
    if (wanted.empty() || wanted.size() > keys.size()) return false;
    for (size_t k = 0; k < wanted.size(); ++k)
        if (EntryPathKey(wanted[k]) != keys[k]) return false;
    if (wanted.size() < keys.size()) return true;
    return wanted.back() == PathParts(archivePath, true).back();
}

}  // namespace

bool PatternSelects(const TEntryPattern& pattern, const std::string& archivePath) {
    if (pattern.literal) return LiteralSelects(pattern, archivePath);
    const std::vector<std::string> parts = PathParts(archivePath, false);
    const std::vector<std::string>& wanted = pattern.components;
    // reached[j]: the pattern's parts so far match the path's first j parts. "**" may stand
    // for any number of parts, so more than one j can be reached at once.
    std::vector<char> reached(parts.size() + 1, 0);
    reached[0] = 1;
    for (const std::string& want : wanted) {
        std::vector<char> next(parts.size() + 1, 0);
        bool any = false;
        for (size_t j = 0; j <= parts.size(); ++j) {
            if (!reached[j]) continue;
            if (want == kAnyDepth) {
                for (size_t k = j; k <= parts.size(); ++k) next[k] = 1;
                any = true;
                break;  // every later j is covered by this one
            }
            if (j < parts.size() && ComponentMatches(want, parts[j])) {
                next[j + 1] = 1;
                any = true;
            }
        }
        if (!any) return false;
        reached = std::move(next);
    }
    // A match of the whole path names the file; of its first parts, a folder it lies in.
    for (char r : reached)
        if (r) return true;
    return false;
}

TEntrySelection SelectEntries(const TArchiveIndex& index, const std::vector<TEntryPattern>& patterns) {
    TEntrySelection selection;
    std::vector<char> used(patterns.size(), 0);
    TEntryPaths paths(index);
    for (size_t i = 0; i < index.entries.size(); ++i) {
        const std::string& path = paths.Of(index.entries[i]);
        bool selected = false;
        for (size_t k = 0; k < patterns.size(); ++k) {
            if (!PatternSelects(patterns[k], path)) continue;
            used[k] = 1;
            selected = true;
        }
        if (selected) selection.indices.push_back(i);
    }
    for (size_t k = 0; k < patterns.size(); ++k)
        if (!used[k]) selection.unmatched.push_back(patterns[k].text);
    return selection;
}
