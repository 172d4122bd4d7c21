// An archive opened once per worker thread, so that each reads its streams from its own file
// position while the others do. Each descriptor is made from the one the archive was opened
// with, so that every thread reads the very file that was opened, whatever its name stands
// for meanwhile.
#pragma once

#include "engine/internal_header.h"

#include <memory>
#include <mutex>
#include <vector>

#include "support/host_file.h"

class TArchiveFiles {
public:
    // source must outlive this.
    explicit TArchiveFiles(const HostFile& source) : source_(source) {}

    std::unique_ptr<HostFile> Take() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!idle_.empty()) {
                std::unique_ptr<HostFile> file = std::move(idle_.back());
                idle_.pop_back();
                return file;
            }
        }
        return HostFile::Reopened(source_, HostFile::Mode::Read);
    }

    void Give(std::unique_ptr<HostFile> file) {
        std::lock_guard<std::mutex> lock(mutex_);
        idle_.push_back(std::move(file));
    }

private:
    const HostFile& source_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<HostFile>> idle_;
};
