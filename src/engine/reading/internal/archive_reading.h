// The lock every reader of an archive holds while it reads.
#pragma once

#include "engine/internal_header.h"

#include <memory>
#include <string>

#include "engine/reading/internal/opened_archive.h"
#include "engine/notices.h"
#include "support/host_lock.h"

// Reading an archive: rolls back an interrupted update and removes the file a killed build
// left beside it, then holds a shared lock, so that no update of another process runs while
// the archive is read. A left-over this process may not remove or apply stays, told in
// notices, and the archive is read as it is.
class TArchiveReading {
public:
    explicit TArchiveReading(const std::string& archivePath, TNotices* notices = nullptr);
    // The same for an archive the operation has opened, which must outlive the reading.
    // Should another file stand under its name once the lock is held after a wait, archive
    // stands for that one from then on.
    explicit TArchiveReading(TOpenedArchive& archive, TNotices* notices = nullptr);
    ~TArchiveReading();
    TArchiveReading(const TArchiveReading&) = delete;
    TArchiveReading& operator=(const TArchiveReading&) = delete;

private:
    void Start(TOpenedArchive& archive, TNotices* notices);

    std::unique_ptr<TOpenedArchive> own_;  // the archive, when this opened it from a path
    std::unique_ptr<host::FileLock> lock_;
};
