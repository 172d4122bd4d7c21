#include "support/zlib_adapter.h"

#include <zlib.h>

#include <algorithm>

#include "support/errors.h"
#include "support/progress.h"

namespace {

constexpr int32_t kGrowthUnit = 256;
constexpr int32_t kChunkSize = 1024;        // output per pass of the streamed decompressor
constexpr int32_t kSourceBlock = 65536;     // input the streamed decompressor draws at once
constexpr int64_t kCompressPiece = 1 << 20;  // input the compressor takes between keep-alives
constexpr uint8_t kZlibMethodByte = 0x78;
constexpr uint8_t kZlibLevel9Flags = 0xDA;
constexpr uint8_t kZlibDefaultFlags = 0x9C;
// The fields of a zlib stream's header.
constexpr uint8_t kMethodMask = 0x0F;
constexpr uint8_t kDeflateMethod = 8;
constexpr int kWindowShift = 4;
constexpr uint8_t kLargestWindowField = 7;
constexpr uint8_t kPresetDictionaryFlag = 0x20;
constexpr int kHeaderCheckDivisor = 31;
// Deflate cannot expand better than about 1032:1; a little slack covers the zlib wrapper.
constexpr int64_t kMaxDeflateRatio = 1032;
constexpr int64_t kRatioSlack = 1024;

int64_t RoundUpTo256(int64_t n) {
    return (n + kGrowthUnit - 1) / kGrowthUnit * kGrowthUnit;
}

// Lets the caller of a long (de)compression hear from it; should the caller stop it there,
// the stream's memory is released on the way out.
void KeepAliveOrEnd(z_stream& zs, int (*end)(z_streamp)) {
    try {
        KeepAlive();
    } catch (...) {
        end(&zs);
        throw;
    }
}

}  // namespace

int64_t MaxInflatedSize(int64_t compressedSize) {
    return std::max<int64_t>(compressedSize, 0) * kMaxDeflateRatio + kRatioSlack;
}

int64_t CompressedSizeBound(int64_t count) {
    return static_cast<int64_t>(compressBound(static_cast<uLong>(std::max<int64_t>(count, 0))));
}

TArrayOfByte CompressBytes(const void* source, int32_t count) {
    z_stream zs{};
    if (deflateInit(&zs, Z_BEST_COMPRESSION) != Z_OK) throw ECompressionError();
    const int64_t n = std::max<int32_t>(count, 0);
    TArrayOfByte area(static_cast<size_t>(RoundUpTo256(n + n / 10 + 12)));
    const auto* in = static_cast<const Bytef*>(source);
    zs.next_out = area.data();
    zs.avail_out = static_cast<uInt>(area.size());
    // The input goes in pieces, so that the caller keeps hearing from a long compression;
    // deflate gives the same stream however its input is divided.
    int64_t fed = 0;
    for (;;) {
        const int64_t piece = std::min<int64_t>(n - fed, kCompressPiece);
        zs.next_in = const_cast<Bytef*>(in + fed);
        zs.avail_in = static_cast<uInt>(piece);
        fed += piece;
        const int flush = fed == n ? Z_FINISH : Z_NO_FLUSH;
        for (;;) {
            const int rc = deflate(&zs, flush);
            if (rc == Z_STREAM_END) break;
            if (rc != Z_OK && rc != Z_BUF_ERROR) {
                deflateEnd(&zs);
                throw ECompressionError();
            }
            if (flush == Z_NO_FLUSH && zs.avail_in == 0) break;
            if (zs.avail_out > 0) continue;
            const size_t used = area.size() - zs.avail_out;
            area.resize(area.size() + kGrowthUnit);
            zs.next_out = area.data() + used;
            zs.avail_out = static_cast<uInt>(area.size() - used);
        }
        if (flush == Z_FINISH) break;
        KeepAliveOrEnd(zs, deflateEnd);
    }
    area.resize(zs.total_out);
    deflateEnd(&zs);
    return area;
}

struct TStreamCompressor::TState {
    z_stream zs{};
    bool open = false;
    TState() = default;
    TState(const TState&) = delete;
    TState& operator=(const TState&) = delete;
    ~TState() {
        if (open) deflateEnd(&zs);
    }
};

TStreamCompressor::TMark::TMark() = default;
TStreamCompressor::TMark::TMark(TMark&&) noexcept = default;
TStreamCompressor::TMark& TStreamCompressor::TMark::operator=(TMark&&) noexcept = default;
TStreamCompressor::TMark::~TMark() = default;

TStreamCompressor::TStreamCompressor() : state_(std::make_unique<TState>()) {
    if (deflateInit(&state_->zs, Z_BEST_COMPRESSION) != Z_OK) throw ECompressionError();
    state_->open = true;
}

TStreamCompressor::~TStreamCompressor() = default;

TStreamCompressor::TMark TStreamCompressor::Mark() const {
    TMark mark;
    mark.state_ = std::make_unique<TState>();
    if (deflateCopy(&mark.state_->zs, &state_->zs) != Z_OK) throw ECompressionError();
    mark.state_->open = true;
    return mark;
}

void TStreamCompressor::ReturnTo(TMark& mark) {
    // The stream so far lies in output_ up to the mark's length; what follows is written anew.
    state_ = std::move(mark.state_);
}

void TStreamCompressor::Deflate(int flush) {
    z_stream& zs = state_->zs;
    // A mark's copy of the stream may point at an output buffer that has grown since.
    for (;;) {
        if (output_.size() - zs.total_out < kGrowthUnit) output_.resize(output_.size() + (output_.size() / 2) + kGrowthUnit);
        zs.next_out = output_.data() + zs.total_out;
        zs.avail_out = static_cast<uInt>(output_.size() - zs.total_out);
        const int rc = deflate(&zs, flush);
        if (rc == Z_STREAM_END) return;
        if (rc != Z_OK && rc != Z_BUF_ERROR) throw ECompressionError();
        if (flush == Z_NO_FLUSH && zs.avail_in == 0) return;
    }
}

void TStreamCompressor::Add(const void* source, int64_t count) {
    const auto* in = static_cast<const Bytef*>(source);
    // Deflate with no flush gives the same stream however its input is divided.
    for (int64_t fed = 0; fed < count;) {
        const int64_t piece = std::min<int64_t>(count - fed, kCompressPiece);
        state_->zs.next_in = const_cast<Bytef*>(in + fed);
        state_->zs.avail_in = static_cast<uInt>(piece);
        Deflate(Z_NO_FLUSH);
        fed += piece;
    }
}

TArrayOfByte TStreamCompressor::Finish() {
    state_->zs.next_in = nullptr;
    state_->zs.avail_in = 0;
    Deflate(Z_FINISH);
    output_.resize(state_->zs.total_out);
    return std::move(output_);
}

void DecompressToBuffer(const void* source, int32_t count, TArrayOfByte& output, int64_t limit) {
    output.clear();
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) throw EDecompressionError();
    const auto* input = static_cast<const uint8_t*>(source);
    int64_t consumed = 0;
    const int64_t total = std::max<int32_t>(count, 0);
    uint8_t chunk[kChunkSize];
    for (;;) {
        if (zs.avail_in == 0 && consumed < total) {
            if (consumed > 0) KeepAliveOrEnd(zs, inflateEnd);
            const int64_t block = std::min<int64_t>(kSourceBlock, total - consumed);
            zs.next_in = const_cast<Bytef*>(input + consumed);
            zs.avail_in = static_cast<uInt>(block);
            consumed += block;
        }
        zs.next_out = chunk;
        zs.avail_out = kChunkSize;
        const int rc = inflate(&zs, Z_NO_FLUSH);
        const int32_t produced = kChunkSize - static_cast<int32_t>(zs.avail_out);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
            inflateEnd(&zs);
            throw EDecompressionError();
        }
        AppendBytes(chunk, produced, output);
        if (rc == Z_STREAM_END) break;
        if (static_cast<int64_t>(output.size()) > limit) break;
        // A truncated stream: no more input and nothing came out.
        if (produced == 0 && zs.avail_in == 0 && consumed >= total) break;
    }
    inflateEnd(&zs);
}

struct TPieceInflater::TState {
    z_stream zs{};
    bool open = false;
    bool ended = false;
    const uint8_t* input = nullptr;
    int64_t total = 0;
    int64_t fed = 0;
    TState() = default;
    TState(const TState&) = delete;
    TState& operator=(const TState&) = delete;
    ~TState() {
        if (open) inflateEnd(&zs);
    }
};

TPieceInflater::TPieceInflater(const void* source, int64_t count) : state_(std::make_unique<TState>()) {
    if (inflateInit(&state_->zs) != Z_OK) throw EDecompressionError();
    state_->open = true;
    state_->input = static_cast<const uint8_t*>(source);
    state_->total = std::max<int64_t>(count, 0);
}

TPieceInflater::~TPieceInflater() = default;

bool TPieceInflater::Ended() const { return state_->ended; }

int64_t TPieceInflater::Inflate(int64_t count, TArrayOfByte& output) { return Pull(count, &output); }

int64_t TPieceInflater::Skip(int64_t count) { return Pull(count, nullptr); }

int64_t TPieceInflater::Pull(int64_t count, TArrayOfByte* output) {
    TState& s = *state_;
    z_stream& zs = s.zs;
    uint8_t chunk[kSourceBlock];
    int64_t produced = 0;
    while (produced < count && !s.ended) {
        if (zs.avail_in == 0 && s.fed < s.total) {
            if (s.fed > 0) KeepAlive();
            const int64_t block = std::min<int64_t>(kSourceBlock, s.total - s.fed);
            zs.next_in = const_cast<Bytef*>(s.input + s.fed);
            zs.avail_in = static_cast<uInt>(block);
            s.fed += block;
        }
        const int64_t room = std::min<int64_t>(kSourceBlock, count - produced);
        zs.next_out = chunk;
        zs.avail_out = static_cast<uInt>(room);
        const int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) throw EDecompressionError();
        const int64_t got = room - static_cast<int64_t>(zs.avail_out);
        if (output != nullptr) AppendBytes(chunk, static_cast<int32_t>(got), *output);
        produced += got;
        if (rc == Z_STREAM_END) s.ended = true;
        // The packed bytes are used up and nothing more came out: the stream is cut short.
        else if (got == 0 && zs.avail_in == 0 && s.fed >= s.total) break;
    }
    return produced;
}

bool HasZlibHeader(const TArrayOfByte& buffer) {
    if (!BeginsAsZlibStream(buffer.data(), static_cast<int64_t>(buffer.size()))) return false;
    if (buffer[0] != kZlibMethodByte) return false;
    return buffer[1] == kZlibLevel9Flags || buffer[1] == kZlibDefaultFlags;
}

bool BeginsAsZlibStream(const uint8_t* bytes, int64_t count) {
    if (count < kZlibHeaderSize) return false;
    if ((bytes[0] & kMethodMask) != kDeflateMethod) return false;
    if ((bytes[0] >> kWindowShift) > kLargestWindowField) return false;
    if ((bytes[1] & kPresetDictionaryFlag) != 0) return false;
    return (bytes[0] * 256 + bytes[1]) % kHeaderCheckDivisor == 0;
}
