// Paths and directory trees. Paths inside an archive use "\" as separator; paths on the host
// are Linux paths, "/" separated, in which "\" is an ordinary byte of a name. Positions
// count from 1. Reading a whole file is in whole_file.h.
#pragma once

#include <cstdint>
#include <string>

#include "support/bytes.h"

struct TSplitPath {
    std::string dir;   // without trailing backslash
    std::string stem;
    std::string ext;   // from the last dot, dot included; "." when the name has none
};

void SplitAtLastBackslash(const std::string& text, std::string& head, std::string& tail);
void WithTrailingBackslash(std::string& path);
void StripTrailingBackslashes(std::string& path);
TSplitPath SplitPath(const std::string& path);

// True when the host directory holds any entry, or cannot be read (it may hold some).
bool DirHasEntries(const std::string& dir);
// Creates every "/"-separated component of rel below the host directory base.
bool CreateDirChain(std::string base, std::string rel);
// Creates a host directory and its missing parents.
bool CreateFullDirPath(const std::string& path);
// The same, saying why not in a sentence for the user (`cannot create the folder "a/b":
// Permission denied`); "" when the directory is there.
std::string CreateFullDirPathOrSayWhy(const std::string& path);
int32_t CollectDirPrefixes(const TStringList& lines, TStringList& dirs, int32_t cutStart, int32_t cutEnd);

// The host path of relative below the host directory dir, relative being a path in the
// archive's form whose components hold no "\" of their own.
std::string HostPathBelow(const std::string& dir, const std::string& relative);
// The last part of a host path, "/" at its end ignored: "a/b/" and "b" both give "b".
std::string HostBaseName(const std::string& path);
// The host path of the entry name of folder, folder being relative to the host directory dir
// in the archive's form ("" or ending in "\\"); the folder's own path when name is empty. The
// name is taken as it is, a "\\" in it included.
std::string HostPathOfEntry(const std::string& dir, const std::string& folder, const std::string& name);

void AppendTextToChars(const std::string& text, TArrayOfChar& chars);
void AppendTextToBytes(const std::string& text, TArrayOfByte& buffer);
void AppendInt32(int32_t value, TArrayOfByte& buffer);

// Cuts cutStart characters from the front and cutEnd from the end of a listing line.
std::string CutLine(const std::string& line, int32_t cutStart, int32_t cutEnd);
