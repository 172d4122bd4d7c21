// How the entry a user names is found in an archive: the one rule that every lookup follows
// (cat, replace and its --path, Replace1, replace-dir and ReplaceX, the one-pass index, and
// which source files stand for one entry).
//
// By path, an archive path is matched by its key: "/" taken as "\" and the ASCII letters
// lowered, so "SCRIPTS/Intro.TXT" finds "scripts\intro.txt"; bytes from 0x80 up stay as they
// are, so "MENÜ" does not find "menü". An empty path names no entry. An archive may hold two
// paths that differ only in letter case (a folder on Linux can): the one that is exactly the
// path given wins, and where none is, a key that both share names neither.
// By tag, a 24-digit tag text (hash_tag.h) finds the entry whose path has that tag. A tag is
// made from the lowered path, so two such paths share one: that tag names neither.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/format/archive_index.h"
#include "engine/format/hash_tag.h"

// The key an archive path is matched by, whether it is an entry's path or one a user gives.
std::string EntryPathKey(const std::string& path);

// The key a hash tag is matched by.
std::string EntryTagKey(const HashTag& tag);

// The key an entry of the archive is found by, from its archive path: EntryPathKey, or with
// byTag the key of the path's tag.
std::string KeyOfEntry(const std::string& entryPath, bool byTag);

// The key what a user gives is matched by: an archive path (none for the empty path, which
// names no entry), or with byTag a tag text.
std::optional<std::string> KeyOfWanted(const std::string& given, bool byTag);

// What a lookup found.
struct TEntryMatch {
    int32_t entry = -1;  // the entry named; -1 when none is, or the match is ambiguous
    // Two entries of different paths the given path or tag names equally; -1 when it is not
    // ambiguous.
    int32_t first = -1;
    int32_t second = -1;

    bool Found() const { return entry >= 0; }
    bool Ambiguous() const { return second >= 0; }
};

// `names both "a.txt" and "A.txt" of the archive, which differ only in letter case`, of two
// archive paths.
std::string NamesBothText(const std::string& first, const std::string& second);

// Why an ambiguous match names no entry, in words for the user: `it names both "a.txt" and
// "A.txt" of the archive, which differ only in letter case` (by tag: `its hash tag is that of
// both ...`).
std::string AmbiguityReason(const TArchiveIndex& index, const TEntryMatch& match, bool byTag);

// The entry of the index that what a user gives names (a path, or with byTag a tag text).
TEntryMatch FindEntry(const TArchiveIndex& index, const std::string& given, bool byTag);

// The entries of an index by key, for many lookups: Find gives what FindEntry gives. Holds a
// number per entry, not its path.
class TEntryIndex {
public:
    TEntryIndex() = default;
    TEntryIndex(const TArchiveIndex& index, bool byTag);

    TEntryMatch Find(const std::string& given) const;

private:
    const TArchiveIndex* index_ = nullptr;
    bool byTag_ = false;
    // By the hash of their key, the entries in directory order.
    std::unordered_map<size_t, std::vector<int32_t>> entriesOfHash_;
};
