#include "helpers/journal_scene.h"

#include <filesystem>

#include "helpers/hand_journal.h"
#include "support/host_file.h"

namespace fs = std::filesystem;

void Overwrite(const std::string& path, int64_t at, const TArrayOfByte& bytes) {
    HostFile file(path, HostFile::Mode::ReadWrite);
    file.Seek(at);
    file.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
}

TArrayOfByte Slice(const TArrayOfByte& bytes, size_t from, size_t to) {
    return TArrayOfByte(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

TArrayOfByte WriteTornArchive(JournalScene& s) {
    HandJournal j(s.Identity(), 10000);
    j.Save(0, Slice(s.original, 0, 5000));
    j.Seal();
    WriteFile(s.journal, j.bytes);
    fs::permissions(s.journal, fs::perms::owner_read | fs::perms::owner_write);
    Overwrite(s.archive, 0, RandomBytes(5000, 13));
    return ReadFileBytes(s.archive);
}

void WriteLeftOverJournal(JournalScene& s) {
    HandJournal j(s.Identity(), 10000);
    j.Save(0, s.original);
    j.Seal();
    WriteFile(s.journal, j.bytes);
    Overwrite(s.archive, 0, RandomBytes(10000, 6));
}
