#include "support/fast_inflate.h"

#include <libdeflate.h>

#include <memory>

#include "support/errors.h"
#include "support/zlib_adapter.h"

namespace {

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// One decompressor per thread: it is not safe to share, and allocating it per stream
// would cost more than inflating a small file.
libdeflate_decompressor& ThreadDecompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
        libdeflate_alloc_decompressor());
    if (!decompressor) throw EDecompressionError();
    return *decompressor;
}

}  // namespace

TInflateOutcome InflateExactSizeIntoRoom(const void* source, int32_t count, int32_t expectedSize, TArrayOfByte& room) {
    if (count < 0) throw EDecompressionError();
    if (expectedSize < 0 || expectedSize > MaxInflatedSize(count)) return TInflateOutcome::OtherSize;
    if (room.size() < static_cast<size_t>(expectedSize)) room.resize(static_cast<size_t>(expectedSize));
    uint8_t none = 0;  // a valid address for an empty output
    void* out = room.empty() ? &none : room.data();
    size_t produced = 0;
    // With the produced size asked for, a shorter stream still has its checksum verified,
    // so corruption is told apart from a wrong recorded size in both directions.
    const libdeflate_result rc = libdeflate_zlib_decompress(&ThreadDecompressor(), source, static_cast<size_t>(count),
                                                            out, static_cast<size_t>(expectedSize), &produced);
    switch (rc) {
        case LIBDEFLATE_SUCCESS:
            return produced == static_cast<size_t>(expectedSize) ? TInflateOutcome::Exact : TInflateOutcome::OtherSize;
        case LIBDEFLATE_INSUFFICIENT_SPACE:
        case LIBDEFLATE_SHORT_OUTPUT:
            return TInflateOutcome::OtherSize;
        default:
            throw EDecompressionError();
    }
}

bool MeasureWholeStream(const void* source, size_t count, size_t limit, int64_t& consumed, int64_t& produced) {
    thread_local TArrayOfByte output;
    if (output.size() < limit) {
        TArrayOfByte().swap(output);
        output.resize(limit);
    }
    uint8_t none = 0;
    size_t in = 0;
    size_t out = 0;
    const libdeflate_result rc = libdeflate_zlib_decompress_ex(
        &ThreadDecompressor(), source, count, output.empty() ? &none : output.data(), limit, &in, &out);
    if (rc != LIBDEFLATE_SUCCESS) return false;
    consumed = static_cast<int64_t>(in);
    produced = static_cast<int64_t>(out);
    return true;
}
