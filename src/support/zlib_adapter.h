// The compression adapter: one complete zlib stream per buffer.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>

#include "support/bytes.h"

// Compresses count bytes into one zlib stream at level 9 (begins 0x78 0xDA).
// Raises ECompressionError on a zlib failure.
TArrayOfByte CompressBytes(const void* source, int32_t count);

// One zlib stream at level 9 compressed from input given in pieces as it comes: the stream is
// the one CompressBytes makes of all the pieces in one, however they were divided.
class TStreamCompressor {
public:
    TStreamCompressor();
    ~TStreamCompressor();
    TStreamCompressor(const TStreamCompressor&) = delete;
    TStreamCompressor& operator=(const TStreamCompressor&) = delete;

    // Compresses the next count bytes. Raises ECompressionError on a zlib failure.
    void Add(const void* source, int64_t count);
    // The whole stream; nothing may be added afterwards.
    TArrayOfByte Finish();

private:
    struct TState;

public:
    // The compressor as it stands, to come back to when what was added after it is not to be
    // part of the stream after all.
    class TMark {
    public:
        TMark();
        TMark(TMark&&) noexcept;
        TMark& operator=(TMark&&) noexcept;
        ~TMark();

    private:
        friend class TStreamCompressor;
        std::unique_ptr<TState> state_;
    };

    TMark Mark() const;
    // Back to the mark, which is used up: the stream goes on as if nothing had been added
    // after it.
    void ReturnTo(TMark& mark);

private:
    void Deflate(int flush);

    std::unique_ptr<TState> state_;
    TArrayOfByte output_;
};

// Inflates one zlib stream in 1024-byte chunks into output (emptied first). A stream that
// ends early yields what was decompressed so far. Decompression stops once output holds
// more than limit bytes, so a caller that knows the expected size is safe from bombs.
// Bytes after the end of the stream are ignored. Raises EDecompressionError on corrupt data.
void DecompressToBuffer(const void* source, int32_t count, TArrayOfByte& output,
                        int64_t limit = std::numeric_limits<int32_t>::max());

// One zlib stream held in memory, inflated a piece at a time as its reader asks for more:
// a reader that stops early never inflates, nor holds, the rest. A declared size cannot be
// trusted for an allocation, and a stream of a few megabytes can inflate to gigabytes.
class TPieceInflater {
public:
    TPieceInflater(const void* source, int64_t count);
    ~TPieceInflater();
    TPieceInflater(const TPieceInflater&) = delete;
    TPieceInflater& operator=(const TPieceInflater&) = delete;

    // Appends up to count more bytes of content to output and returns how many; fewer only
    // once the stream has ended or its packed bytes ran out. Raises EDecompressionError on
    // corrupt data (a bad checksum included).
    int64_t Inflate(int64_t count, TArrayOfByte& output);
    // The same, counting the content without keeping it.
    int64_t Skip(int64_t count);
    // True once the stream's end (and its checksum) was reached.
    bool Ended() const;

private:
    int64_t Pull(int64_t count, TArrayOfByte* output);

    struct TState;
    std::unique_ptr<TState> state_;
};

// True when the buffer begins 0x78 0xDA or 0x78 0x9C: the headers of level 9 and of zlib's
// default level, the only ones a directory is accepted with.
bool HasZlibHeader(const TArrayOfByte& buffer);

// A zlib stream's header: CMF (method and window) and FLG (check bits, preset dictionary).
inline constexpr int64_t kZlibHeaderSize = 2;

// True when the count bytes at bytes begin as a zlib stream that a writer of the format may
// have stored: deflate with a window of at most 32 KiB, no preset dictionary, and the
// header's check bits right (CMF * 256 + FLG a multiple of 31), whatever level wrote it.
bool BeginsAsZlibStream(const uint8_t* bytes, int64_t count);

// The largest expansion a zlib stream can achieve (deflate's best case is about 1032:1);
// used to cap allocations that a recorded size asks for.
int64_t MaxInflatedSize(int64_t compressedSize);

// The most bytes CompressBytes can produce for count bytes of input, whatever they hold.
int64_t CompressedSizeBound(int64_t count);
