// In-place updating of PC archives: replacing the stored data of entries the archive holds.
#pragma once

#include <cstdint>
#include <string>

#include "engine/notices.h"
#include "support/bytes.h"
#include "support/progress.h"

// The new content of one entry. Data is owned by the caller.
struct TReplacementData {
    uint8_t Valid = 0;
    const uint8_t* Data = nullptr;
    int32_t UnpackedSize = 0;
    int32_t DataSize = 0;
    uint8_t IsPacked = 0;  // non-zero: Data already holds a complete zlib stream
};

// Replaces the entry found by key (an archive path, or a 24-digit tag text when matchByTag).
// Why it did not (an Xbox 360 archive, one that does not read, no such entry, a stream it
// may not replace) is told in notices.
bool ReplaceEntryData(bool bigEndian, const std::string& archivePath, const std::string& key, bool matchByTag,
                      const TReplacementData* data, TNotices* notices = nullptr);

// ReplaceEntryData with the content of a file. A file that cannot be read, or whose name
// carries no tag when matchByTag, is told in notices and replaces nothing. progress hears the
// phases of writing (saving, moving, writing) and may stop the replacement, which then rolls
// back.
bool ReplaceOneFile(bool bigEndian, const std::string& archivePath, const std::string& filePath,
                    const std::string& key, bool convertLoc, bool matchByTag, TNotices* notices = nullptr,
                    const ProgressProc& progress = {});

// Replaces every entry for which the source tree holds a file, in one pass over the archive:
// the files are read, matched and compressed first (ahead, on every core), then every stream
// is moved once, the new streams and the directory are written. The archive, the count (of
// entries replaced), the result, the progress reports and the notices are exactly those of
// ReplaceFromDirectoryFileByFile. Every file that replaced nothing is told in notices.
bool ReplaceFromDirectory(bool bigEndian, const std::string& archivePath, std::string sourceDir, bool matchByTag,
                          bool convertLoc, const ProgressProc& progress, int32_t& replacedCount,
                          TNotices* notices = nullptr);

// ReplaceFromDirectory with a chosen budget for the new streams held in memory: once they
// exceed it, the replacements decided so far are written in one pass and deciding goes on.
// ReplaceFromDirectory holds up to 64 MiB.
bool ReplaceFromDirectoryHolding(bool bigEndian, const std::string& archivePath, std::string sourceDir,
                                 bool matchByTag, bool convertLoc, const ProgressProc& progress,
                                 int32_t& replacedCount, int64_t heldStreamsBudget, TNotices* notices = nullptr);

// The file-by-file procedure: ReplaceOneFile for each file of the tree in collection order,
// each listing, patching and closing the archive on its own.
bool ReplaceFromDirectoryFileByFile(bool bigEndian, const std::string& archivePath, std::string sourceDir,
                                    bool matchByTag, bool convertLoc, const ProgressProc& progress,
                                    int32_t& replacedCount, TNotices* notices = nullptr);

int32_t FindEntryByPath(const TStringList& listing, std::string key, int32_t prefixLength, int32_t suffixLength);

// The checks every replacement from a directory makes before it touches anything: a PC
// archive that exists and a source directory that exists (an empty one is made "."). What
// fails is told in notices.
bool CanReplaceFromDirectory(bool bigEndian, const std::string& archivePath, std::string& sourceDir,
                             TNotices* notices);

// The files below sourceDir (relative paths, in collection order) that may replace entries:
// every file but the archive itself, and of the files that stand for one entry (one path in
// two letter cases, or with matchByTag one tag) only the first. What could not be taken (a
// folder that cannot be read, a name holding a "\", such a second file) is in refused.
// False when the directory cannot be collected.
bool CollectSourceFiles(const std::string& sourceDir, const std::string& archivePath, bool matchByTag,
                        TStringList& files, TNotices& refused);

// Adds the notices from to to (when to is not null).
void PassOn(const TNotices& from, TNotices* to);

// The key a source file's entry is found by: its relative path, or the hash tag its name
// carries when matchByTag.
std::string SourceFileKey(const std::string& relative, bool matchByTag);

// ReplaceOneFile for files[from] to the last, in order, each reported once done; counts the
// replaced ones into replacedCount. A notice two files give alike is told once.
void ReplaceFilesOneByOne(bool bigEndian, const std::string& archivePath, const std::string& sourceDir,
                          const TStringList& files, size_t from, bool matchByTag, bool convertLoc,
                          const ProgressProc& progress, int32_t& replacedCount, TNotices* notices = nullptr);

// Every folder and file below the host directory dir as relative paths in the archive's
// form, and what could not be taken, and why. The order is the one make stores them in,
// whatever order the folders list their entries: depth first, a folder's sub-folder trees
// before its files, each sorted by CollationLess.
struct TSourceTree {
    TStringList folders;
    TStringList files;
    TNotices refused;
};
bool CollectFiles(const std::string& dir, TSourceTree& tree);
