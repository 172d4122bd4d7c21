// Reading an archive's header and directory, and the listing: one line per file.
#pragma once

#include <cstdint>
#include <string>

#include "engine/archive_format.h"
#include "engine/notices.h"
#include "support/bytes.h"
#include "support/progress.h"

class HostFile;

// Reads and checks the header and the compressed directory of an open archive and
// decompresses the directory. A declared directory larger than its compressed bytes could
// inflate to is refused before anything is decompressed. The file position is left where
// it was. A directory that is no valid zlib stream raises EDecompressionError naming it.
bool ReadArchiveHeader(bool bigEndian, HostFile& archive, Veldane_PAK_HeaderType& header,
                       TArrayOfByte& directory);

// The same, saying why the header does not read in words for the user ("" when it does).
std::string ArchiveHeaderProblem(bool bigEndian, HostFile& archive, Veldane_PAK_HeaderType& header,
                                 TArrayOfByte& directory);

// What an extraction does with its target directory.
enum class TTargetFolder {
    MustExist,          // a missing one fails the extraction
    CreateWithParents,  // created with its parents once the archive's header and directory have read
};

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

// True when the path names a file an archive can be read from; otherwise why not (missing,
// a folder, a device, FIFO or socket) is told in notices.
bool CanOpenArchive(const std::string& archivePath, TNotices* notices);

// ExtractArchive's listing of a PC archive that is to be updated in place. An archive that
// reads only as an Xbox 360 one is told as one that cannot be updated, with no advice.
bool ListArchiveToUpdate(const std::string& archivePath, TStringList& listing, TNotices* notices);

// The numeric field of a listing line that starts at column (zero-based).
int32_t ListingField(const std::string& line, int32_t column);

// ExtractArchive's listing of an archive the caller has opened, and holds for reading
// (TArchiveReading), while it goes on to read its streams. False, told in notices, when
// its header or directory does not read.
bool ListOpenedArchive(bool bigEndian, HostFile& archive, TStringList& listing, TNotices* notices);
