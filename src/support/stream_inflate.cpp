#include "support/stream_inflate.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

#include "support/progress.h"

namespace {

constexpr int64_t kSourceBlockSize = 64 * 1024;
constexpr int64_t kContentBlockSize = 64 * 1024;

// The zlib state, ended however the inflation leaves (a sink may raise).
class TInflater {
public:
    TInflater() { ok_ = inflateInit(&zs_) == Z_OK; }
    ~TInflater() {
        if (ok_) inflateEnd(&zs_);
    }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    bool Ok() const { return ok_; }
    z_stream& Stream() { return zs_; }

private:
    z_stream zs_{};
    bool ok_ = false;
};

}  // namespace

TStreamInflation InflateStream(const TByteSource& source, const TByteSink& sink, int64_t outputLimit) {
    TStreamInflation result;
    TInflater inflater;
    if (!inflater.Ok()) {
        result.end = TStreamEnd::Damaged;
        return result;
    }
    z_stream& zs = inflater.Stream();
    const auto input = std::make_unique<uint8_t[]>(kSourceBlockSize);
    const auto content = std::make_unique<uint8_t[]>(kContentBlockSize);
    int64_t drawn = 0;  // packed bytes taken from the source so far
    bool sourceDry = false;
    for (;;) {
        if (zs.avail_in == 0 && !sourceDry) {
            // A large stream takes a while: the operation's caller keeps hearing from it.
            if (drawn > 0) KeepAlive();
            const int64_t got = source(input.get(), kSourceBlockSize);
            sourceDry = got <= 0;
            zs.next_in = input.get();
            zs.avail_in = static_cast<uInt>(std::max<int64_t>(got, 0));
            drawn += zs.avail_in;
        }
        zs.next_out = content.get();
        zs.avail_out = static_cast<uInt>(kContentBlockSize);
        const int rc = inflate(&zs, Z_NO_FLUSH);
        const int64_t made = kContentBlockSize - zs.avail_out;
        result.consumed = drawn - zs.avail_in;
        const int64_t room = outputLimit - result.produced;
        if (made > room) {
            if (room > 0) sink(content.get(), room);
            result.produced += std::max<int64_t>(room, 0);
            result.end = TStreamEnd::OverLimit;
            return result;
        }
        if (made > 0) sink(content.get(), made);
        result.produced += made;
        if (rc == Z_STREAM_END) {
            result.end = TStreamEnd::Complete;
            return result;
        }
        if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR) {
            result.end = TStreamEnd::Damaged;
            return result;
        }
        // Nothing more can come out: the input is used up and the stream has not ended.
        if (made == 0 && zs.avail_in == 0 && sourceDry) {
            result.end = TStreamEnd::CutShort;
            return result;
        }
    }
}
