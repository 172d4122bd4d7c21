// Whole-buffer inflation of one zlib stream whose decompressed size is recorded beside it.
// It gives the same bytes as zlib's inflate: libdeflate's, several times faster, where it is at
// hand (fast_inflate.cpp), zlib's otherwise (fast_inflate_zlib.cpp); compression stays zlib's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/bytes.h"

enum class TInflateOutcome {
    Exact,      // the stream decompressed to exactly the expected size; output holds it
    OtherSize,  // it decompresses to another size (or the size cannot be right); output is empty
};

// Inflates one zlib stream held in count bytes into output, sized expectedSize up front.
// An expected size that is negative or larger than the stream could ever produce is
// OtherSize without any allocation. Bytes after the end of the stream are ignored.
// Raises EDecompressionError on corrupt or truncated data (a bad checksum included).
TInflateOutcome InflateExactSize(const void* source, int32_t count, int32_t expectedSize, TArrayOfByte& output);

// InflateExactSize into room, which is grown as needed and never shrunk, so that one buffer
// serves stream after stream without being cleared each time: on Exact its first
// expectedSize bytes hold the content.
TInflateOutcome InflateExactSizeIntoRoom(const void* source, int32_t count, int32_t expectedSize, TArrayOfByte& room);

// Inflates one whole zlib stream held in count bytes, for a caller that needs only its sizes,
// into a buffer of the calling thread's of limit bytes. True, with consumed (the packed bytes
// up to the stream's end, its checksum included) and produced, when the stream is sound and
// ends within count bytes and within limit; false for every other stream, whose fault the
// caller then finds by inflating it piece by piece. Raises nothing but a failed allocation.
bool MeasureWholeStream(const void* source, size_t count, size_t limit, int64_t& consumed, int64_t& produced);
