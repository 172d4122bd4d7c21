#include "engine/archive_entries.h"

#include <algorithm>

#include "engine/archive_reader.h"
#include "engine/internal/archive_format.h"
#include "engine/internal/archive_reader.h"
#include "engine/internal/directory_walk.h"
#include "engine/internal/update_journal.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/paths.h"

TEntryTotals SumEntries(const TArchiveEntries& entries) {
    TEntryTotals totals;
    for (const TArchiveEntry& entry : entries) {
        ++totals.files;
        totals.packedBytes += std::max<int32_t>(entry.packedSize, 0);
        totals.unpackedBytes += std::max<int32_t>(entry.unpackedSize, 0);
    }
    return totals;
}

TArchiveLook::TArchiveLook(bool bigEndian, const std::string& archivePath, TNotices* notices,
                           const TDirectoryReadProc& directoryRead)
    : path_(archivePath) {
    if (!CanOpenArchive(archivePath, notices)) return;
    // The lock is held from the listing to the last stream read, so no update moves a stream
    // in between.
    reading_ = std::make_unique<TArchiveReading>(archivePath, notices);
    file_ = std::make_unique<HostFile>(archivePath, HostFile::Mode::Read);
    if (!ListOpenedArchive(bigEndian, *file_, listing_, notices, directoryRead)) return;
    fileSize_ = file_->Size();
    entries_.reserve(listing_.size());
    for (const std::string& line : listing_) entries_.push_back(EntryOfListingLine(line));
    listed_ = true;
}

TArchiveLook::~TArchiveLook() = default;

bool ReadArchiveEntries(bool bigEndian, const std::string& archivePath, TArchiveEntries& entries,
                        TNotices* notices) {
    TArchiveLook look(bigEndian, archivePath, notices);
    entries = look.Entries();
    return look.Listed();
}

host::FileIdentity TArchiveLook::Identity() const { return file_->Identity(); }
