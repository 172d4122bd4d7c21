// Reading an archive: the listing, one line per file, and extracting every file.
#pragma once

#include <cstdint>
#include <string>

#include "engine/notices.h"
#include "engine/target_folder.h"
#include "support/bytes.h"
#include "support/progress.h"

// Lists the archive into listing; with a non-empty target directory it then extracts every
// file below it. True when everything read (and extracted) without fault; more file records
// than the data area can hold streams for (MaxFileRecords) are a fault, found before the
// listing grows past them. Why the archive could not be read (and, when it reads in the
// other byte order, the advice to choose that), each file that failed, and files beside the
// archive that were left alone are told in notices.
bool ExtractArchive(bool bigEndian, const std::string& archivePath, TStringList& listing,
                    int32_t& prefixLength, int32_t& suffixLength, const std::string& targetDir,
                    bool hashTags, bool convertLoc, const ProgressProc& progress, TNotices* notices = nullptr,
                    TTargetFolder targetFolder = TTargetFolder::MustExist);

// ExtractArchive for a caller that needs only the number of files the archive lists
// (fileCount, set once the archive was read), not the listing's lines.
bool ExtractArchive(bool bigEndian, const std::string& archivePath, int64_t& fileCount, const std::string& targetDir,
                    bool hashTags, bool convertLoc, const ProgressProc& progress, TNotices* notices = nullptr,
                    TTargetFolder targetFolder = TTargetFolder::MustExist);
