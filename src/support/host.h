// The one module that talks to the operating system. Every path it takes is in the
// archive's form, with "\" as separator; it turns each "\" into "/" on the way to the OS.
// Failures raise EInOutError with the OS error code and a message naming the path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

std::string ToHostPath(const std::string& path);

enum class EntryKind { Missing, File, Directory, Other };  // Other: FIFO, socket, device

struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

struct EntryInfo {
    EntryKind kind = EntryKind::Missing;  // after following symbolic links
    int64_t size = 0;
    FileIdentity identity;
};

EntryInfo Stat(const std::string& path);

// One entry of a directory listing, "." and ".." left out, in the order the OS gives them.
struct DirEntry {
    std::string name;
    EntryInfo info;
};

// Every entry of a directory, dot files included. A directory that cannot be read gives
// an empty list.
std::vector<DirEntry> ListDirectory(const std::string& dir);

// Creates one directory; false when that fails (the OS error is left in errno).
bool MakeDirectory(const std::string& path);

// False for file systems extraction must not write to (network shares, optical media).
// Looks at the nearest existing ancestor of path.
bool IsLocalWritableMedium(const std::string& path);

// The current directory, used only to resolve relative paths for comparisons.
std::string CurrentDirectory();

}  // namespace host

// An open file of bytes, closed by its destructor.
class HostFile {
public:
    enum class Mode { Read, ReadWrite, Create };

    HostFile(const std::string& path, Mode mode);
    ~HostFile();
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;

    // Reads up to count bytes; returns how many arrived (fewer only at the end of the file).
    int64_t Read(void* buffer, int64_t count);
    // Reads exactly count bytes or raises "Read beyond end of file".
    void ReadExact(void* buffer, int64_t count);
    void Write(const void* buffer, int64_t count);
    void Seek(int64_t position);
    int64_t Position() const { return position_; }
    int64_t Size() const;
    // Cuts the file at the current position.
    void Truncate();
    void Close();

    const std::string& Path() const { return path_; }
    host::FileIdentity Identity() const;

private:
    [[noreturn]] void Fail(const char* what) const;

    std::string path_;
    int fd_ = -1;
    int64_t position_ = 0;
};

namespace host {
// True when standard error is a terminal (progress is drawn only there).
bool StandardErrorIsTerminal();
}  // namespace host
