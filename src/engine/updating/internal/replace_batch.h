// Replacing from a folder in one pass: engine/replace_batch.h, and what only the engine's
// tests use.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <string>

#include "engine/notices.h"
#include "engine/updating/replace_batch.h"
#include "support/progress.h"

// ReplaceFromDirectory with a chosen budget for the new streams held in memory: once they
// exceed it, they are parked in the journal. ReplaceFromDirectory holds up to 64 MiB.
TReplaceResult ReplaceFromDirectoryHolding(const TReplaceDirRequest& request, int64_t heldStreamsBudget);
