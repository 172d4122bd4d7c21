// In-place updating: engine/archive_update.h, and besides it replacing with bytes given, and
// the pieces that replacing from a folder (replace_batch.h) is made of.
#pragma once

#include "engine/internal_header.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/updating/archive_update.h"
#include "engine/reading/internal/opened_archive.h"
#include "engine/building/internal/source_tree.h"
#include "engine/updating/internal/update_journal.h"
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
// may not replace) is told in notices. Only a benchmark of the journal's cost skips the
// journal (TJournalling).
bool ReplaceEntryData(bool bigEndian, const std::string& archivePath, const std::string& key, bool matchByTag,
                      const TReplacementData* data, TNotices* notices = nullptr,
                      TJournalling journalling = TJournalling::Kept);

// The checks every replacement from a directory makes before it touches anything: a PC
// archive that exists and a source directory that exists (an empty one is made "."). What
// fails is told in notices.
bool CanReplaceFromDirectory(bool bigEndian, const TOpenedArchive& archive, std::string& sourceDir,
                             TNotices* notices);

struct TSourceTree;

// The files below sourceDir (in collection order) that may replace entries: every file but
// the archive itself (of that identity), and of the files that stand for one entry (their keys, entry_key.h,
// are equal: one path in two letter cases, or with matchByTag one tag) only the first. What
// could not be taken (a folder that cannot be read, a name holding a "\", such a second
// file) is in the tree's refused. False when the directory cannot be collected.
bool CollectSourceFiles(const std::string& sourceDir, const host::FileIdentity& archive, bool matchByTag,
                        TSourceTree& tree);

// Adds the notices from to to (when to is not null).
void PassOn(const TNotices& from, TNotices* to);

// What a source file's entry is found by (entry_key.h): its relative path, or the hash tag
// text its name carries when matchByTag ("" when it carries none).
std::string SourceFileKey(const std::string& relative, bool matchByTag);

// ReplaceOneFile of a PC archive for files[from] to the last, in order, each reported once
// done; counts the replaced ones into replacedCount. A notice two files give alike is told once.
void ReplaceFilesOneByOne(TOpenedArchive& archive, const std::vector<TSourceFile>& files, size_t from,
                          bool matchByTag, bool convertLoc, const ProgressProc& progress, int32_t& replacedCount,
                          TNotices* notices = nullptr);

// The tree below the host directory dir (source_tree.h), its files, and what could not be
// taken, and why. The files come in the order make stores them in, whatever order the
// folders list their entries: depth first, a folder's sub-folder trees before its files,
// each sorted by CollationLess. The files point into the tree, which therefore stays where
// it was made.
struct TSourceTree {
    TSourceTree() = default;
    TSourceTree(const TSourceTree&) = delete;
    TSourceTree& operator=(const TSourceTree&) = delete;

    TListedTree listed;
    std::vector<TSourceFile> files;
    TNotices refused;
};
bool CollectFiles(const std::string& dir, TSourceTree& tree);
