#include "support/splice.h"

#include <algorithm>
#include <vector>

#include "support/host.h"

namespace {

// Restores the file position however the routine ends.
class PositionKeeper {
public:
    explicit PositionKeeper(HostFile& file) : file_(file), saved_(file.Position()) {}
    ~PositionKeeper() { file_.Seek(saved_); }

private:
    HostFile& file_;
    int64_t saved_;
};

void FillWith(HostFile& file, std::vector<uint8_t>& buffer, uint8_t value, int64_t from, int64_t count) {
    std::fill(buffer.begin(), buffer.end(), value);
    file.Seek(from);
    while (count > 0) {
        const int64_t piece = std::min<int64_t>(count, kSpliceBlockSize);
        file.Write(buffer.data(), piece);
        count -= piece;
    }
}

}  // namespace

void InsertBytes(HostFile& file, int64_t position, int64_t count) {
    if (count <= 0) return;
    PositionKeeper keeper(file);
    std::vector<uint8_t> buffer(kSpliceBlockSize);
    int64_t blockEnd = file.Size();
    int64_t blockStart = blockEnd;
    // Move from the end backwards so no byte is overwritten before it has been moved.
    while (blockStart > position) {
        blockStart = (blockStart - position < kSpliceBlockSize) ? position : blockStart - kSpliceBlockSize;
        const int64_t length = blockEnd - blockStart;
        blockEnd = blockStart;
        file.Seek(blockStart);
        file.Read(buffer.data(), length);
        file.Seek(blockStart + count);
        file.Write(buffer.data(), length);
    }
    FillWith(file, buffer, 0, position, count);
}

void DeleteBytes(HostFile& file, int64_t position, int64_t count) {
    if (count <= 0) return;
    PositionKeeper keeper(file);
    std::vector<uint8_t> buffer(kSpliceBlockSize);
    const int64_t size = file.Size();
    count = std::min(count, std::max<int64_t>(size - position, 0));
    int64_t source = position + count;
    int64_t remaining = size > source ? size - source : 0;
    while (remaining > 0) {
        const int64_t length = std::min<int64_t>(remaining, kSpliceBlockSize);
        remaining -= length;
        file.Seek(source);
        file.Read(buffer.data(), length);
        file.Seek(source - count);
        file.Write(buffer.data(), length);
        source += length;
    }
    const int64_t newEnd = size > count ? size - count : 0;
    // The stale copy of the tail's last bytes is overwritten before the cut.
    FillWith(file, buffer, 'X', newEnd, count);
    file.Seek(newEnd);
    file.Truncate();
}
