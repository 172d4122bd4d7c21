// Reading an archive: engine/archive_reader.h, and besides it the header and directory, and
// the index an update works from.
#pragma once

#include "engine/internal_header.h"

#include <string>

#include "engine/format/archive_index.h"
#include "engine/reading/archive_reader.h"
#include "engine/format/internal/archive_format.h"
#include "engine/reading/internal/opened_archive.h"
#include "engine/notices.h"
#include "support/bytes.h"

class HostFile;

// Reads and checks the header and the compressed directory of an open archive and
// decompresses the whole directory. A declared directory larger than its compressed bytes
// could inflate to is refused before anything is decompressed. The file position is left
// where it was. A directory that is no valid zlib stream raises EDecompressionError naming it.
bool ReadArchiveHeader(bool bigEndian, HostFile& archive, Veldane_PAK_HeaderType& header,
                       TArrayOfByte& directory);

// The same, saying why the header does not read in words for the user ("" when it does).
std::string ArchiveHeaderProblem(bool bigEndian, HostFile& archive, Veldane_PAK_HeaderType& header,
                                 TArrayOfByte& directory);

// True when the path names a file an archive can be read from; otherwise why not (missing,
// a folder, a device, FIFO or socket) is told in notices.
bool CanOpenArchive(const std::string& archivePath, TNotices* notices);
bool CanOpenArchive(const TOpenedArchive& archive, TNotices* notices);

// The index of a PC archive that is to be updated in place, its directory inflated whole. An
// archive that reads only as an Xbox 360 one is told as one that cannot be updated, with no
// advice.
bool IndexArchiveToUpdate(TOpenedArchive& archive, TArchiveIndex& index, TNotices* notices);

// The header (its size and the directory's) and the decompressed directory of an archive
// indexed whole, as ReadArchiveHeader would read them again; the compressed directory is left
// out.
void HeaderOfIndex(const TArchiveIndex& index, Veldane_PAK_HeaderType& header, TArrayOfByte& directory);

// The index of an archive the caller has opened, and holds for reading (TArchiveReading),
// while it goes on to read its streams: the directory is inflated only as far as its records
// reach, and walked as it is inflated. False, told in notices, when its header or directory
// does not read; index then holds what the walk met before it failed.
bool IndexOpenedArchive(bool bigEndian, HostFile& archive, TArchiveIndex& index, TNotices* notices);
