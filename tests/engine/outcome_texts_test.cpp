// The outcome texts this program words itself count in the singular where the count is 1;
// those the window has always shown stay word for word.
#include <gtest/gtest.h>

#include "engine/outcome_texts.h"

TEST(OutcomeTexts, CountsOfOneAreSingularInTheProgramsOwnTexts) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {AddedText(1, 1), "O.K. Added 1 file and replaced 1 file!"},
        {AddedText(2, 0), "O.K. Added 2 files and replaced 0 files!"},
        {RemovedText(1, 1), "O.K. Removed 1 file and 1 dir!"},
        {RemovedText(3, 2), "O.K. Removed 3 files and 2 dirs!"},
        {SyncedText(false, 1, 1, 1, 1), "O.K. Synchronized: 1 added, 1 changed, 1 removed, 1 unchanged file!"},
        {SyncedText(true, 0, 0, 0, 2), "Would synchronize: 0 added, 0 changed, 0 removed, 2 unchanged files."},
        {StoppedExtractionText(1), "Stopped: 1 file was extracted."},
        {StoppedExtractionText(1000), "Stopped: 1,000 files were extracted."},
        {ReplacedFromDirectoryText(0, 1), "O.K. Nothing to update: 1 unchanged file left as it was."},
        {ReplacedFromDirectoryText(2, 1), "O.K. Successfully updated 2 files! 1 unchanged file left as it was."},
        {ReplacedFromDirectoryText(1, 10333),
         "O.K. Successfully updated 1 files! 10,333 unchanged files left as they were."},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, c.expected);
}

TEST(OutcomeTexts, TheWindowsLongstandingTextsKeepTheirWords) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {ExtractedText(1), "O.K. Successfully extracted 1 files!"},
        {PackedText(1, 1), "O.K. Packed: 1 dirs and 1 files!"},
        {UpdatedFilesText(1), "O.K. Successfully updated 1 files!"},
        {ReplacedFromDirectoryText(1, 0), "O.K. Successfully updated 1 files!"},
        {ReplacedFromDirectoryText(0, 0), "I didn't find any file in the given directory."},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, c.expected);
}
