#include "helpers/small_disk.h"

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

SmallDisk::SmallDisk(int64_t bytes) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vpak-disk-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0) {
        mounted_ = true;
        return;
    }
    reason_ = std::string("cannot mount a small tmpfs for a full-disk test (") + std::strerror(errno) +
              "); this needs the right to mount, as root on CI has";
}

SmallDisk::~SmallDisk() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    rmdir(path_.c_str());
}

int64_t SmallDisk::FreeBytes() const {
    struct statvfs fs {};
    if (statvfs(path_.c_str(), &fs) != 0) return 0;
    return static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize);
}
