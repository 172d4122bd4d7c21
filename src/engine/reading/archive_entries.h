// An archive opened to be looked into, and its records as values, for the operations that look
// into an archive (showing one entry, testing every stream, the listings).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/format/archive_index.h"
#include "engine/notices.h"
#include "support/bytes.h"
#include "support/host_entries.h"

class HostFile;
class TArchiveReading;
class TOpenedArchive;

struct TEntryTotals {
    int64_t files = 0;
    int64_t packedBytes = 0;    // records with a negative size count as 0
    int64_t unpackedBytes = 0;
};

TEntryTotals SumEntries(const TArchiveEntries& entries);

// An archive opened to be looked into: an interrupted update rolled back, a shared lock held
// against updates, its directory indexed. Listed() is false when it cannot be opened or its
// header or directory does not read; why is told in notices. A directory that does not
// inflate raises EDecompressionError naming it.
class TArchiveLook {
public:
    TArchiveLook(bool bigEndian, const std::string& archivePath, TNotices* notices);
    // The same for an archive the operation has opened, which must outlive the look.
    TArchiveLook(bool bigEndian, TOpenedArchive& archive, TNotices* notices);
    ~TArchiveLook();
    TArchiveLook(const TArchiveLook&) = delete;
    TArchiveLook& operator=(const TArchiveLook&) = delete;

    bool Listed() const { return listed_; }
    const TArchiveIndex& Index() const { return index_; }
    TArchiveIndex& Index() { return index_; }
    const TArchiveEntries& Entries() const { return index_.entries; }
    // The archive's file, open for reading while this lives (only when listed).
    HostFile& File() { return *file_; }
    const HostFile& File() const { return *file_; }
    // The open archive's device and inode (only when listed).
    host::FileIdentity Identity() const;
    int64_t FileSize() const { return fileSize_; }
    const std::string& Path() const { return path_; }

private:
    void Open(bool bigEndian, TOpenedArchive& archive, TNotices* notices);

    std::string path_;
    std::unique_ptr<TOpenedArchive> own_;  // the archive, when this opened it from a path
    std::unique_ptr<TArchiveReading> reading_;
    HostFile* file_ = nullptr;
    bool listed_ = false;
    TArchiveIndex index_;
    int64_t fileSize_ = 0;
};

// The index of an archive, for a listing. False, told in notices, as TArchiveLook.
bool ReadArchiveIndex(bool bigEndian, const std::string& archivePath, TArchiveIndex& index, TNotices* notices);
