#include "ui/engine_calls.h"

#include "engine/reading/archive_entries.h"

TEngineCalls EngineOperations() {
    TEngineCalls calls;
    calls.ReadArchiveIndex = ::ReadArchiveIndex;
    calls.ExtractArchive = ::ExtractArchive;
    calls.MakeArchive = ::MakeArchive;
    calls.ReplaceOneFile = ::ReplaceOneFile;
    calls.ReplaceFromDirectory = ::ReplaceFromDirectory;
    calls.ExtractSelected = ::ExtractSelectedEntries;
    calls.AddToArchive = ::AddToArchive;
    calls.RemoveFromArchive = ::RemoveFromArchive;
    return calls;
}
