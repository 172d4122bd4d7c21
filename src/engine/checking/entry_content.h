// One entry's content, inflated piece by piece and handed on as it comes: memory stays the
// same however large the entry, or its record's claims, are.
#pragma once

#include <cstdint>
#include <string>

#include "engine/notices.h"
#include "support/progress.h"
#include "support/stream_inflate.h"

struct TEntryContentRequest {
    bool bigEndian = false;
    std::string archivePath;
    std::string entryPath;   // found as `replace --path` finds its entry: any ASCII case, "/" or "\"
    bool locAsText = false;  // a .loc table is handed on as text, as extraction writes it
    TByteSink sink;
    ProgressProc progress;   // hears from a long inflation (KeepAlive), and may stop it
    TNotices* notices = nullptr;
};

struct TEntryContentResult {
    bool ok = false;
    int64_t bytesWritten = 0;  // handed to the sink
};

// Hands the content of one entry to the sink. Not ok, told in notices, when the archive does
// not read, holds no such entry, or (locAsText) the table does not convert; nothing reached
// the sink then. A stream that breaks (damaged, cut short, longer or shorter than its record
// gives, or lying outside the archive) raises EDecompressionError that names the entry and
// the byte of its content where it broke; what the sink received before stays received. As
// extraction, bytes behind a stream's end inside its packed size are not looked at.
TEntryContentResult WriteEntryContent(const TEntryContentRequest& request);
