// A small file system of its own (a tmpfs of a given size) for tests of a full disk.
// Mounting needs the right to mount (root, as on CI); without it Mounted() is false and
// Reason() says why, for a clear skip.
#pragma once

#include <cstdint>
#include <string>

class SmallDisk {
public:
    explicit SmallDisk(int64_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Reason() const { return reason_; }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }
    // Bytes still free for files.
    int64_t FreeBytes() const;

private:
    std::string path_;
    bool mounted_ = false;
    std::string reason_;
};
