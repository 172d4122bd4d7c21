#include "engine/reading/archive_entries.h"

#include <algorithm>

#include "engine/reading/archive_reader.h"
#include "engine/format/internal/archive_format.h"
#include "engine/reading/internal/archive_reader.h"
#include "engine/reading/internal/archive_reading.h"
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
    : path_(archivePath), own_(std::make_unique<TOpenedArchive>(archivePath)) {
    Open(bigEndian, *own_, notices);
}

TArchiveLook::TArchiveLook(bool bigEndian, TOpenedArchive& archive, TNotices* notices) : path_(archive.Path()) {
    Open(bigEndian, archive, notices);
}

void TArchiveLook::Open(bool bigEndian, TOpenedArchive& archive, TNotices* notices) {
    if (!CanOpenArchive(archive, notices)) return;
    // The lock is held from the listing to the last stream read, so no update moves a stream
    // in between.
    reading_ = std::make_unique<TArchiveReading>(archive, notices);
    file_ = &archive.Reader();
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
