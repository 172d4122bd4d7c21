// Paths, directory trees and whole files. Paths use "\" as separator; positions count from 1.
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

bool DirHasEntries(const std::string& dir);
bool CreateDirChain(std::string base, std::string rel);
bool CreateFullDirPath(const std::string& path);
void CreateDirsForFile(std::string base, const std::string& rel);
void CreateDirList(const std::string& base, const TStringList& dirs);
int32_t CollectDirPrefixes(const TStringList& lines, TStringList& dirs, int32_t cutStart, int32_t cutEnd);

struct TTreeCount {
    bool ok = false;
    int32_t dirCount = 0;
    int32_t fileCount = 0;
};
TTreeCount CountTree(std::string dir, bool recurse);

// False for a missing file and for one whose content cannot be obtained (a FIFO, a socket,
// a device, or a file that gave fewer bytes than its size).
bool ReadWholeFile(const std::string& path, TArrayOfByte& buffer);

void AppendTextToChars(const std::string& text, TArrayOfChar& chars);
void AppendTextToBytes(const std::string& text, TArrayOfByte& buffer);
void AppendInt32(int32_t value, TArrayOfByte& buffer);

// Cuts cutStart characters from the front and cutEnd from the end of a listing line.
std::string CutLine(const std::string& line, int32_t cutStart, int32_t cutEnd);
