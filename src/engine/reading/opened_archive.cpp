#include "engine/reading/internal/opened_archive.h"

#include <cerrno>
#include <cstring>

#include "support/errors.h"

std::string TOpenedArchive::Problem() const {
    if (Path().empty()) return "no archive was named";
    switch (Info().kind) {
        case host::EntryKind::File: return "";
        case host::EntryKind::Missing: return host::ErrorText(Info().errorCode);
        case host::EntryKind::Directory: return "it is a folder";
        case host::EntryKind::Other: return "it is a device, FIFO or socket, not a file";
    }
    return "";
}

std::string JournalPathOf(const std::string& archivePath) { return host::ResolvedPath(archivePath) + kJournalSuffix; }

std::string TOpenedArchive::JournalPath() const { return RealPath() + kJournalSuffix; }

HostFile& TOpenedArchive::Reader() {
    if (!reader_) reader_ = Open(HostFile::Mode::Read);
    return *reader_;
}

std::unique_ptr<host::FileLock> TOpenedArchive::Lock(host::LockKind kind) {
    for (;;) {
        if (!IsFile()) {
            const host::EntryKind kind = Info().kind;
            const int code = kind == host::EntryKind::Missing ? Info().errorCode
                             : kind == host::EntryKind::Directory ? EISDIR
                                                                  : EINVAL;
            throw EInOutError(code, "Cannot open file \"" + Path() + "\": " + std::strerror(code));
        }
        auto lock = std::make_unique<host::FileLock>(named_, kind);
        const bool recheck = kind == host::LockKind::Exclusive || lock->Waited();
        if (!recheck || named_.StillNamed()) return lock;
        // Another file was renamed over the name, or the file removed, while this looked.
        lock.reset();
        reader_.reset();
        named_.LookUpAgain();
    }
}
