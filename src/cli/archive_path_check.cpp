#include "cli/archive_path_check.h"

#include <string>

#include "engine/extraction/entry_selection.h"

CLI::Validator ArchivePathCheck() {
    return CLI::Validator(
        [](std::string& entry) {
            const std::string problem = EntryPatternProblem(entry);
            return problem.empty() ? std::string() : "\"" + entry + "\": " + problem;
        },
        "PATH", "archive path");
}
