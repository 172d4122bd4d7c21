// Why a replacement did not happen, worded once: replacing from a directory in one pass must
// tell exactly what replacing its files one by one tells.
#pragma once

#include "engine/internal_header.h"

#include <string>

#include "engine/format/archive_index.h"
#include "engine/format/internal/entry_key.h"
#include "engine/notices.h"
#include "support/display_text.h"

inline constexpr const char* kRecordOutsideDirectory = "the archive's directory does not hold its record";
inline constexpr const char* kImpossibleRecord = "its record holds a negative offset or size";
inline constexpr const char* kStreamRunsPastEnd = "its stream runs past the end of the archive";
inline constexpr const char* kStreamShared = "its stream shares bytes with another file's, which replacing it would damage";
inline constexpr const char* kArchiveTooLarge = "the archive would reach 2 GiB";
inline constexpr const char* kDirectoryTooLarge = "the archive's compressed directory would pass 10 MiB";

// An entry the archive holds whose content was not replaced.
inline void TellEntryRefused(TNotices* notices, const std::string& entryPath, const std::string& reason) {
    Notify(notices, entryPath, NoticeText("cannot replace", ArchivePathForUser(entryPath), reason));
}

// A source file for which the archive holds no entry. key is the entry's path, or the tag
// text from the file's name when matchByTag.
inline void TellNoEntry(TNotices* notices, const std::string& sourceFile, const std::string& key, bool matchByTag) {
    const std::string reason = matchByTag ? "the archive holds no file with the hash tag in its name"
                                          : "the archive holds no file \"" + ArchivePathForUser(key) + "\"";
    Notify(notices, sourceFile, NoticeText("cannot use", sourceFile, reason));
}

// What a user named (a source file, or an entry's path or tag) names two entries that differ
// only in letter case: either could be meant, so neither is replaced.
inline void TellAmbiguous(TNotices* notices, const std::string& given, const TArchiveIndex& index,
                          const TEntryMatch& match, bool matchByTag) {
    Notify(notices, given, NoticeText("cannot use", given, AmbiguityReason(index, match, matchByTag)));
}

// A source file that is to be found by the hash tag its name does not carry.
inline void TellUntagged(TNotices* notices, const std::string& sourceFile) {
    Notify(notices, sourceFile,
           NoticeText("cannot use", sourceFile, "its name carries no hash tag (name.[24 hex digits].ext)"));
}

inline void TellXboxRefused(TNotices* notices, const std::string& archivePath) {
    Notify(notices, archivePath,
           NoticeText("cannot update", archivePath, "Xbox 360 archives cannot be updated in place"));
}
