// An archive opened once per worker thread, so that each reads its streams from its own file
// position while the others do.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "support/host_entries.h"
#include "support/host_file.h"

class TArchiveFiles {
public:
    explicit TArchiveFiles(std::string path) : path_(std::move(path)) {}

    std::unique_ptr<HostFile> Take() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!idle_.empty()) {
                std::unique_ptr<HostFile> file = std::move(idle_.back());
                idle_.pop_back();
                return file;
            }
        }
        return std::make_unique<HostFile>(path_, HostFile::Mode::Read);
    }

    void Give(std::unique_ptr<HostFile> file) {
        std::lock_guard<std::mutex> lock(mutex_);
        idle_.push_back(std::move(file));
    }

private:
    const std::string path_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<HostFile>> idle_;
};
