// A file looked up once by its name, part of the host module (see host_entries.h): what the
// name stood for at that moment, and descriptors of that very file for reading, writing and
// locking, made without looking the name up again. A name looked up twice can stand for two
// files: another process may rename a file over it in between.
#pragma once

#include <string>

#include "support/host_entries.h"

namespace host {

class NamedFile {
public:
    // Looks path up once. A device, FIFO or socket is looked at, never opened. A symbolic
    // link at the end of the path is followed, and where the file it names lies is then
    // asked of the system; any other file is found where the path's folder resolves to.
    explicit NamedFile(std::string path);
    ~NamedFile();
    NamedFile(const NamedFile&) = delete;
    NamedFile& operator=(const NamedFile&) = delete;

    const std::string& Path() const { return path_; }
    // What the path stood for, as Stat gave it: kind, size, identity; errorCode for Missing.
    const EntryInfo& Info() const { return info_; }
    // The permission bits and owner the file has now.
    FileOwnership Ownership() const;
    // The path of the file with every link and "." or ".." resolved, as ResolvedPath gives
    // it: the files kept beside a file lie beside the file itself. The path itself when it
    // names nothing.
    const std::string& Resolved() const { return resolved_; }

    // True when the path still names this file. Looks the name up again.
    bool StillNamed() const;
    // Looks the name up again: from now on this stands for what it names now.
    void LookUpAgain();

    // A new descriptor of the file (O_RDONLY, O_RDWR ... with O_CLOEXEC); -1 with errno when
    // it cannot be opened, as opening it by its name would fail (EACCES ...).
    int OpenDescriptor(int flags) const;

private:
    void LookUp();
    void Close();

    std::string path_;
    int fd_ = -1;  // O_PATH: the file itself, opened for nothing but being named
    EntryInfo info_;
    std::string resolved_;
};

}  // namespace host
