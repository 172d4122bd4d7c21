#include "engine/archive_entries.h"

#include <algorithm>

#include "engine/archive_reader.h"
#include "engine/internal/archive_format.h"
#include "engine/internal/archive_reader.h"
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

TArchiveLook::TArchiveLook(bool bigEndian, const std::string& archivePath, TNotices* notices)
    : path_(archivePath) {
    if (!CanOpenArchive(archivePath, notices)) return;
    // The lock is held from the listing to the last stream read, so no update moves a stream
    // in between.
    reading_ = std::make_unique<TArchiveReading>(archivePath, notices);
    file_ = std::make_unique<HostFile>(archivePath, HostFile::Mode::Read);
    if (!IndexOpenedArchive(bigEndian, *file_, index_, notices)) return;
    fileSize_ = file_->Size();
    listed_ = true;
}

TArchiveLook::~TArchiveLook() = default;

bool ReadArchiveIndex(bool bigEndian, const std::string& archivePath, TArchiveIndex& index, TNotices* notices) {
    TArchiveLook look(bigEndian, archivePath, notices);
    index = std::move(look.Index());
    return look.Listed();
}

host::FileIdentity TArchiveLook::Identity() const { return file_->Identity(); }
