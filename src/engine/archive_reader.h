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
// it was.
bool ReadArchiveHeader(bool bigEndian, HostFile& archive, Veldane_PAK_HeaderType& header,
                       TArrayOfByte& directory);

// Lists the archive into listing; with a non-empty target directory it then extracts every
// file below it. True when everything read (and extracted) without fault; more file records
// than the data area can hold streams for (MaxFileRecords) are a fault, found before the
// listing grows past them. Files that failed and files beside the archive that were left
// alone are told in notices.
bool ExtractArchive(bool bigEndian, const std::string& archivePath, TStringList& listing,
                    int32_t& prefixLength, int32_t& suffixLength, const std::string& targetDir,
                    bool hashTags, bool convertLoc, const ProgressProc& progress, TNotices* notices = nullptr);

// The numeric field of a listing line that starts at column (zero-based).
int32_t ListingField(const std::string& line, int32_t column);
