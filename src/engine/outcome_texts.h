// What a command stopped by its user says, in the window's caption and on the command line.
#pragma once

#include <cstdint>
#include <string>

#include "support/number_text.h"

// The files an extraction had finished stay where they are.
inline std::string StoppedExtractionText(int32_t filesDone) {
    return "Stopped: " + GroupThousands(filesDone) + " files were extracted.";
}
// A stopped build removes what it had written; the archive it would have replaced stays.
inline const std::string kStoppedBuildText = "Stopped: nothing was written to the archive.";
// A stopped update is rolled back through its journal.
inline const std::string kStoppedUpdateText = "Stopped: the archive is as it was before.";
