// The archive-engine operations the window's commands call, as replaceable functions: the
// program uses the engine itself, tests can watch the arguments a command passes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "support/bytes.h"
#include "support/progress.h"

struct TEngineCalls {
    std::function<bool(bool bigEndian, const std::string& archivePath, TStringList& listing,
                       int32_t& prefixLength, int32_t& suffixLength, const std::string& targetDir,
                       bool hashTags, bool convertLoc, const ProgressProc& progress)>
        ExtractArchive;
};

// The engine's own operations.
TEngineCalls EngineOperations();
