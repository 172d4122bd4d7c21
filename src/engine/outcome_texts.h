// The texts both front ends give for a command's outcome, word for word: the window in its
// caption, the command line on standard output (success) or standard error.
#pragma once

#include <cstdint>
#include <string>

#include "support/count_text.h"
#include "support/number_text.h"

// The version is the project's own (CMakeLists.txt), handed in by the build.
inline const std::string kProgramTitle = "Veldane .PAK Maker / Extractor / Updater";
inline const std::string kProgramVersion = VPAK_VERSION;
inline const std::string kTitleLine = kProgramTitle + " v" + kProgramVersion;

// Every false result of the engine.
inline const std::string kErrorText = "Error :-(";
// A command that ran out of memory: the allocator's own name for it tells a user nothing.
inline const std::string kOutOfMemoryText = "Not enough memory to finish the command";

inline std::string ExtractedText(int64_t files) {
    return "O.K. Successfully extracted " + GroupThousands(files) + " files!";
}
inline std::string PackedText(int32_t folders, int32_t files) {
    return "O.K. Packed: " + GroupThousands(folders) + " dirs and " + GroupThousands(files) + " files!";
}
inline const std::string kUpdatedText = "O.K. Successfully updated!";
inline std::string UpdatedFilesText(int32_t files) {
    return "O.K. Successfully updated " + GroupThousands(files) + " files!";
}
inline std::string AddedText(int32_t added, int32_t replaced) {
    return "O.K. Added " + Counted(added, "file") + " and replaced " + Counted(replaced, "file") + "!";
}
inline std::string RemovedText(int32_t files, int32_t folders) {
    return "O.K. Removed " + Counted(files, "file") + " and " + Counted(folders, "dir") + "!";
}
// What a sync did, or with dryRun would do.
inline std::string SyncedText(bool dryRun, int32_t added, int32_t changed, int32_t removed, int32_t unchanged) {
    return std::string(dryRun ? "Would synchronize: " : "O.K. Synchronized: ") + GroupThousands(added) +
           " added, " + GroupThousands(changed) + " changed, " + GroupThousands(removed) + " removed, " +
           Counted(unchanged, "unchanged file") + (dryRun ? "." : "!");
}
// A replacement from a directory that found no file to replace with.
inline const std::string kNothingToReplaceText = "I didn't find any file in the given directory.";
// What a replacement from a directory did. Entries whose file holds their content already
// are left as they were and counted apart; without any, the texts are the usual ones.
inline std::string ReplacedFromDirectoryText(int32_t replaced, int32_t unchanged) {
    if (unchanged < 1) return replaced < 1 ? kNothingToReplaceText : UpdatedFilesText(replaced);
    const std::string left = Counted(unchanged, "unchanged file") + " left as " + (unchanged == 1 ? "it was" : "they were");
    if (replaced < 1) return "O.K. Nothing to update: " + left + ".";
    return UpdatedFilesText(replaced) + " " + left + ".";
}

// What a command stopped by its user says. The files an extraction had finished stay
// where they are.
inline std::string StoppedExtractionText(int64_t filesDone) {
    return "Stopped: " + Counted(filesDone, "file") + (filesDone == 1 ? " was" : " were") + " extracted.";
}
// A stopped build or edit removes what it had written; the archive it would have replaced
// stays.
inline const std::string kStoppedBuildText = "Stopped: nothing was written to the archive.";
// A stopped update is rolled back through its journal.
inline const std::string kStoppedUpdateText = "Stopped: the archive is as it was before.";
