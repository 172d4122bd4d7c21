#include "engine/extraction.h"

bool ExtractListedFiles(const TExtractionRequest&) { return false; }
