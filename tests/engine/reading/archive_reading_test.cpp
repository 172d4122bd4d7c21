#include "engine/reading/internal/archive_reading.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "helpers/journal_scene.h"
#include "helpers/temp_dir.h"

namespace fs = std::filesystem;

TEST(ArchiveReading, ReadsPastAJournalItLeavesWithoutWaitingForIt) {
    JournalScene s;
    const TArrayOfByte current = WriteTornArchive(s);
    ASSERT_EQ(chown(s.journal.c_str(), kStranger, kStranger), 0);
    TNotices notices;
    { const TArchiveReading reading(s.archive, &notices); }
    EXPECT_EQ(ReadFileBytes(s.archive), current);
    EXPECT_TRUE(fs::exists(s.journal));
    EXPECT_EQ(notices.size(), 1u);
}

TEST(ArchiveReading, RollsBackALeftOverJournalBeforeReading) {
    JournalScene s;
    WriteLeftOverJournal(s);
    const TArchiveReading reading(s.archive);
    EXPECT_EQ(ReadFileBytes(s.archive), s.original);
    EXPECT_FALSE(fs::exists(s.journal));
}
