// An archive-sized file for the tests of the journal: they write journals beside it by hand
// (hand_journal.h), or let an update write one, and look at what recovery makes of them.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/updating/internal/journal_recovery.h"
#include "engine/reading/internal/opened_archive.h"
#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "support/bytes.h"
#include "support/host_entries.h"

// Writes bytes into the file at path from at on.
void Overwrite(const std::string& path, int64_t at, const TArrayOfByte& bytes);

// The bytes from from up to to.
TArrayOfByte Slice(const TArrayOfByte& bytes, size_t from, size_t to);

// An archive-sized file and a changed copy of it, as an update would leave it half-way.
struct JournalScene {
    TempDir dir;
    std::string archive = dir / "data.pak";
    std::string journal = archive + kJournalSuffix;
    TArrayOfByte original = RandomBytes(10000, 7);

    JournalScene() { WriteFile(archive, original); }
    host::FileIdentity Identity() const { return host::Stat(archive).identity; }
    std::string KeptAside(const std::string& number = "") const {
        return journal + kDamagedSuffix + (number.empty() ? "" : "-" + number);
    }
    // What recovery tells of a damaged journal it renamed to KeptAside(number).
    std::string KeptNotice(const std::string& damage, const std::string& number = "") const {
        return "kept the damaged journal \"" + journal + "\": it is now \"" + KeptAside(number) + "\": " + damage +
               "; the archive \"" + archive + "\" may be damaged";
    }
};

// A user other than the one the tests run as.
constexpr uid_t kStranger = 65534;

// A journal sealed for the scene's archive, whose first half an update had overwritten;
// returns the archive as the update left it.
TArrayOfByte WriteTornArchive(JournalScene& s);

// A journal sealed for the scene's archive that saved the whole of it, and the archive
// overwritten, as an update killed before it could roll back leaves them.
void WriteLeftOverJournal(JournalScene& s);
