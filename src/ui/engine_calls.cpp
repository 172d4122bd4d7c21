#include "ui/engine_calls.h"

#include "engine/archive_reader.h"

TEngineCalls EngineOperations() {
    TEngineCalls calls;
    calls.ExtractArchive = ::ExtractArchive;
    return calls;
}
