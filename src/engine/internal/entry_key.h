// How the entry a user names is found in an archive: the one rule that every lookup follows
// (replace and its --path, Replace1, replace-dir and ReplaceX, the one-pass index, and which
// source files stand for one entry).
//
// By path, an archive path is matched by its key: "/" taken as "\" and the ASCII letters
// lowered, so "SCRIPTS/Intro.TXT" finds "scripts\intro.txt"; bytes from 0x80 up stay as they
// are, so "MENÜ" does not find "menü". An empty path names no entry.
// By tag, a 24-digit tag text (hash_tag.h) finds the entry whose path has that tag.
//
// Two names find the same entry exactly when their keys are equal, so a lookup compares keys
// and an index is keyed by them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "engine/hash_tag.h"
#include "support/bytes.h"

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

// The first line of a listing whose entry matches what a user gives (KeyOfWanted); -1 for
// none. The entry's path is the line with cutStart characters cut from its front and cutEnd
// from its end.
int32_t FindEntry(const TStringList& lines, const std::string& given, bool byTag, int32_t cutStart, int32_t cutEnd);
// FindEntry by path, and by a tag.
int32_t FindEntryByPath(const TStringList& lines, const std::string& path, int32_t cutStart, int32_t cutEnd);
int32_t FindEntryByTag(const TStringList& lines, const HashTag& tag, int32_t cutStart, int32_t cutEnd);

// The lines of a listing by key, for many lookups: Find gives what FindEntry gives.
class TEntryIndex {
public:
    TEntryIndex() = default;
    TEntryIndex(const TStringList& lines, int32_t cutStart, int32_t cutEnd, bool byTag);

    // given is a path, or with byTag a tag text; -1 when no line matches.
    int32_t Find(const std::string& given) const;

private:
    bool byTag_ = false;
    std::unordered_map<std::string, int32_t> first_;
};
