#include "support/splice.h"

#include <algorithm>
#include <vector>

#include "support/host_file.h"
#include "support/progress.h"

namespace {

void FillWith(HostFile& file, std::vector<uint8_t>& buffer, uint8_t value, int64_t from, int64_t count) {
    std::fill(buffer.begin(), buffer.end(), value);
    file.Seek(from);
    while (count > 0) {
        const int64_t piece = std::min<int64_t>(count, kSpliceBlockSize);
        file.Write(buffer.data(), piece);
        count -= piece;
        KeepAlive();
    }
}

}  // namespace

void InsertBytes(HostFile& file, int64_t position, int64_t count) {
    if (count <= 0) return;
    FilePositionGuard keeper(file);
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
        KeepAlive();
    }
    FillWith(file, buffer, 0, position, count);
}

void DeleteBytes(HostFile& file, int64_t position, int64_t count) {
    if (count <= 0) return;
    FilePositionGuard keeper(file);
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
        KeepAlive();
    }
    const int64_t newEnd = size > count ? size - count : 0;
    // The stale copy of the tail's last bytes is overwritten before the cut.
    FillWith(file, buffer, 'X', newEnd, count);
    file.Seek(newEnd);
    file.Truncate();
}

namespace {

// Moves one run in blocks: front to back when it moves towards the start, back to front
// when towards the end, so that the run never overwrites its own unmoved bytes.
void MoveRun(HostFile& file, std::vector<uint8_t>& buffer, const TRangeMove& move) {
    const int64_t blocks = (move.length + kSpliceBlockSize - 1) / kSpliceBlockSize;
    for (int64_t k = 0; k < blocks; ++k) {
        const int64_t index = move.to < move.from ? k : blocks - 1 - k;
        const int64_t offset = index * kSpliceBlockSize;
        const int64_t length = std::min<int64_t>(kSpliceBlockSize, move.length - offset);
        file.Seek(move.from + offset);
        file.ReadExact(buffer.data(), length);
        file.Seek(move.to + offset);
        file.Write(buffer.data(), length);
        // A moved tail is flushed before the update ends; writing it out meanwhile lets the
        // disk work while the next block is copied.
        file.StartWriteback(move.to + offset, length);
        KeepAlive();
    }
}

}  // namespace

void MoveRanges(HostFile& file, const std::vector<TRangeMove>& moves) {
    FilePositionGuard keeper(file);
    std::vector<uint8_t> buffer;
    auto moving = [](const TRangeMove& move) { return move.length > 0 && move.from != move.to; };
    bool any = false;
    for (const TRangeMove& move : moves) any = any || moving(move);
    if (!any) return;
    buffer.resize(kSpliceBlockSize);
    // A run moving towards the start lands at or before its own source and behind the final
    // place of every earlier run, so it destroys no source that is still to be read; a run
    // moving towards the end is moved once every later run has left its place.
    for (const TRangeMove& move : moves)
        if (moving(move) && move.to < move.from) MoveRun(file, buffer, move);
    for (auto it = moves.rbegin(); it != moves.rend(); ++it)
        if (moving(*it) && it->to > it->from) MoveRun(file, buffer, *it);
}
