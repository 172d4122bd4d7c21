#include "support/fast_inflate.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <new>

#include "support/errors.h"
#include "support/zlib_adapter.h"

// zlib's inflate where libdeflate is not at hand (Windows): the same bytes and the same
// verdicts, slower: libdeflate inflates several times faster.
namespace {

// One inflater per thread, reset for each stream: setting one up costs more than inflating
// a small file.
class TThreadInflater {
public:
    TThreadInflater() {
        if (inflateInit(&stream_) != Z_OK) throw std::bad_alloc();
    }
    ~TThreadInflater() { inflateEnd(&stream_); }
    TThreadInflater(const TThreadInflater&) = delete;
    TThreadInflater& operator=(const TThreadInflater&) = delete;

    z_stream& Fresh() {
        inflateReset(&stream_);
        return stream_;
    }

private:
    z_stream stream_{};
};

z_stream& FreshInflater() {
    thread_local TThreadInflater inflater;
    return inflater.Fresh();
}

// Output is full and the stream has not ended: either it holds more content (another size),
// or its packed bytes ran out before its end (truncated), which one more byte of room tells.
TInflateOutcome AfterFullOutput(z_stream& z) {
    uint8_t extra = 0;
    z.next_out = &extra;
    z.avail_out = 1;
    const int rc = inflate(&z, Z_FINISH);
    if (z.avail_out == 0) return TInflateOutcome::OtherSize;
    if (rc == Z_STREAM_END) return TInflateOutcome::Exact;
    if (rc == Z_MEM_ERROR) throw std::bad_alloc();
    throw EDecompressionError();
}

}  // namespace

TInflateOutcome InflateExactSizeIntoRoom(const void* source, int32_t count, int32_t expectedSize, TArrayOfByte& room) {
    if (count < 0) throw EDecompressionError();
    if (expectedSize < 0 || expectedSize > MaxInflatedSize(count)) return TInflateOutcome::OtherSize;
    if (room.size() < static_cast<size_t>(expectedSize)) room.resize(static_cast<size_t>(expectedSize));
    uint8_t none = 0;  // a valid address for an empty input or output
    z_stream& z = FreshInflater();
    z.next_in = count == 0 ? &none : static_cast<Bytef*>(const_cast<void*>(source));
    z.avail_in = static_cast<uInt>(count);
    z.next_out = room.empty() ? &none : room.data();
    z.avail_out = static_cast<uInt>(expectedSize);
    // A stream that ends short of the expected size has had its checksum verified by then,
    // so corruption is told apart from a wrong recorded size in both directions.
    switch (inflate(&z, Z_FINISH)) {
        case Z_STREAM_END:
            return z.avail_out == 0 ? TInflateOutcome::Exact : TInflateOutcome::OtherSize;
        case Z_BUF_ERROR:
        case Z_OK:
            if (z.avail_out == 0) return AfterFullOutput(z);
            throw EDecompressionError();  // the packed bytes ran out first: truncated
        case Z_MEM_ERROR:
            throw std::bad_alloc();
        default:
            throw EDecompressionError();
    }
}

bool MeasureWholeStream(const void* source, size_t count, size_t limit, int64_t& consumed, int64_t& produced) {
    // The content is counted, not kept: zlib keeps the window it needs itself.
    thread_local uint8_t scratch[64 * 1024];
    constexpr size_t kMaxPiece = std::numeric_limits<uInt>::max();
    uint8_t none = 0;
    const auto* next = count == 0 ? &none : static_cast<const uint8_t*>(source);
    size_t unfed = count;
    size_t in = 0;
    size_t out = 0;
    z_stream& z = FreshInflater();
    z.avail_in = 0;
    for (;;) {
        if (z.avail_in == 0 && unfed > 0) {
            const size_t piece = std::min(unfed, kMaxPiece);
            z.next_in = const_cast<Bytef*>(next);
            z.avail_in = static_cast<uInt>(piece);
            next += piece;
            unfed -= piece;
            in += piece;
        } else if (z.avail_in == 0) {
            z.next_in = &none;
        }
        z.next_out = scratch;
        z.avail_out = sizeof scratch;
        const int rc = inflate(&z, Z_NO_FLUSH);
        out += sizeof scratch - z.avail_out;
        if (out > limit) return false;
        if (rc == Z_STREAM_END) break;
        if (rc == Z_MEM_ERROR) throw std::bad_alloc();
        if (rc == Z_BUF_ERROR && z.avail_in == 0 && unfed == 0) return false;  // truncated
        if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
    }
    consumed = static_cast<int64_t>(in - z.avail_in);
    produced = static_cast<int64_t>(out);
    return true;
}
