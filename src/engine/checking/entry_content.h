// One entry's content, inflated piece by piece and handed on as it comes: memory stays the
// same however large the entry, or its record's claims, are.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/notices.h"
#include "support/bytes.h"
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

// The first bytes of one entry's content, for a look at it: the stream is inflated only as far
// as they need, and gives up soon once stop is set.
struct TEntryHeadRequest {
    bool bigEndian = false;
    std::string archivePath;
    std::string entryPath;  // found as WriteEntryContent finds it
    int64_t byteCap = 0;    // at most this many content bytes are inflated
    // With capAfterProbe, probeBytes are read first whatever the cap; once they are in, the cap
    // becomes what it returns (never called for a shorter content): what the caller wants of an
    // entry may depend on its first bytes.
    int64_t probeBytes = 0;
    std::function<int64_t(const TArrayOfByte& head)> capAfterProbe;
    const std::atomic<bool>* stop = nullptr;  // read between blocks of the stream
    TNotices* notices = nullptr;
};

struct TEntryHeadResult {
    bool found = false;    // the archive read and holds the entry; else why is in notices
    bool stopped = false;  // stop was set before the bytes were in; bytes is then partial
    TArrayOfByte bytes;    // the content's first bytes, up to the cap
    bool whole = false;    // bytes hold the whole content, and the stream ended sound
    std::string entryPath;  // the entry's path as the archive holds it
    int32_t packedSize = 0;
    int32_t unpackedSize = 0;
    // Why the stream breaks within the bytes read (damaged, cut short, longer or shorter than
    // its record gives, lying outside the archive); "" when it does not. What came before the
    // break is in bytes.
    std::string damage;
};

// Reads the head of one entry. Raises only what reading the archive itself raises (a
// directory that does not inflate, an input/output error, a lock another process holds
// where this thread does not wait); a broken stream is told in damage, not raised.
TEntryHeadResult ReadEntryHead(const TEntryHeadRequest& request);
