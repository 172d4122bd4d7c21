// Inflating one zlib stream piece by piece: the packed bytes are drawn from a source and the
// content handed to a sink in small blocks, so memory stays the same whatever the stream
// holds or its record claims.
#pragma once

#include <cstdint>
#include <functional>

// Fills buffer with up to capacity bytes of the packed stream; returns how many it gave
// (0 once the packed bytes are used up).
using TByteSource = std::function<int64_t(uint8_t* buffer, int64_t capacity)>;
// Takes count bytes of content; they stay valid only during the call.
using TByteSink = std::function<void(const uint8_t* data, int64_t count)>;

enum class TStreamEnd {
    Complete,   // the stream ended with a correct checksum
    Damaged,    // zlib refused its bytes (bad header, data or checksum)
    CutShort,   // the source ran dry before the stream ended
    OverLimit,  // the content went on past the limit
};

struct TStreamInflation {
    TStreamEnd end = TStreamEnd::Complete;
    int64_t consumed = 0;  // packed bytes read up to the stream's end, or up to where it broke
    int64_t produced = 0;  // content bytes handed to the sink (never more than the limit)
};

// Inflates one stream. Content beyond outputLimit bytes is never handed over: the sink
// receives exactly the first outputLimit bytes and the result is OverLimit. Packed bytes the
// source holds behind the stream's end are left unread (consumed tells where it ended, and
// at most one source block is drawn past it). Raises only what the source or the sink raise.
TStreamInflation InflateStream(const TByteSource& source, const TByteSink& sink, int64_t outputLimit);
