// Replacing from a folder in one pass: engine/replace_batch.h, and what only the engine's
// tests use.
#pragma once

#include <cstdint>
#include <string>

#include "engine/notices.h"
#include "engine/replace_batch.h"
#include "support/progress.h"

// ReplaceFromDirectory with a chosen budget for the new streams held in memory: once they
// exceed it, they are parked in the journal. ReplaceFromDirectory holds up to 64 MiB.
bool ReplaceFromDirectoryHolding(bool bigEndian, const std::string& archivePath, std::string sourceDir,
                                 bool matchByTag, bool convertLoc, const ProgressProc& progress,
                                 int32_t& replacedCount, int64_t heldStreamsBudget, TNotices* notices = nullptr);
