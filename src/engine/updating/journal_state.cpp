#include "engine/updating/internal/journal_state.h"

#include <algorithm>
#include <cstring>

#include "engine/format/internal/archive_format.h"
#include "support/bytes.h"
#include "support/host_file.h"

namespace {

constexpr int64_t kTagLength = 8;  // the tag and 4 zero bytes
// The fields behind the tag.
constexpr int64_t kOldSizeAt = 0;
constexpr int64_t kNewSizeAt = 8;
constexpr int64_t kContentAt = 16;
constexpr int64_t kCountAt = 20;
constexpr int64_t kFieldsLength = 24;
constexpr int kSizeWidth = 8;
constexpr int kContentWidth = 4;
constexpr int kCountWidth = 4;
// One sample.
constexpr int64_t kPositionAt = 0;
constexpr int64_t kOldByteAt = 8;
constexpr int64_t kNewByteAt = 9;
constexpr int64_t kSampleLength = 10;
constexpr int kPositionWidth = 8;
constexpr uint32_t kSampledContent = 0;
constexpr uint32_t kUnknownContent = 1;
constexpr int64_t kSampleCount = 256;
// More samples than any state is written with; a count beyond is damage.
constexpr uint32_t kMaxSamples = 4096;

bool IsArchiveSize(uint64_t size) { return size <= static_cast<uint64_t>(kMaxArchiveSize); }

struct TStateFields {
    int64_t oldSize = 0;
    int64_t newSize = 0;
    uint32_t content = 0;
    uint32_t count = 0;
};

bool DecodeFields(const uint8_t* bytes, TStateFields& fields) {
    const uint64_t oldSize = GetLittleEndian(bytes + kOldSizeAt, kSizeWidth);
    if (!IsArchiveSize(oldSize)) return false;
    const uint64_t newSize = GetLittleEndian(bytes + kNewSizeAt, kSizeWidth);
    if (!IsArchiveSize(newSize)) return false;
    fields.oldSize = static_cast<int64_t>(oldSize);
    fields.newSize = static_cast<int64_t>(newSize);
    fields.content = static_cast<uint32_t>(GetLittleEndian(bytes + kContentAt, kContentWidth));
    if (fields.content != kSampledContent && fields.content != kUnknownContent) return false;
    fields.count = static_cast<uint32_t>(GetLittleEndian(bytes + kCountAt, kCountWidth));
    if (fields.count > kMaxSamples) return false;
    // An unknown state has nothing to compare.
    return fields.content == kSampledContent || fields.count == 0;
}

// Every sample must lie below both sizes: there alone a byte is either old or new.
bool DecodeSamples(const uint8_t* bytes, uint32_t count, int64_t limit, std::vector<TStateSample>& samples) {
    samples.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* at = bytes + static_cast<int64_t>(i) * kSampleLength;
        const uint64_t position = GetLittleEndian(at + kPositionAt, kPositionWidth);
        if (position >= static_cast<uint64_t>(limit)) return false;
        samples[i] = {static_cast<int64_t>(position), at[kOldByteAt], at[kNewByteAt]};
    }
    return true;
}

bool SizeFits(const TJournalState& state, int64_t size, int64_t restoredSize) {
    const int64_t low = std::min({state.oldSize, state.newSize, restoredSize});
    const int64_t high = std::max({state.oldSize, state.newSize, restoredSize});
    return size >= low && size <= high;
}

bool ByteFits(const TStateSample& sample, uint8_t byte, const std::optional<uint8_t>& restored) {
    return byte == sample.oldByte || byte == sample.newByte || (restored && byte == *restored);
}

}  // namespace

std::vector<int64_t> StateSamplePositions(int64_t limit) {
    std::vector<int64_t> positions;
    const int64_t header = std::min<int64_t>(std::max<int64_t>(limit, 0), kFixedHeaderSize);
    for (int64_t p = 0; p < header; ++p) positions.push_back(p);
    const int64_t spread = kSampleCount - header;
    const int64_t span = limit - header;
    if (span <= spread) {
        for (int64_t p = header; p < limit; ++p) positions.push_back(p);
        return positions;
    }
    for (int64_t i = 0; i < spread; ++i) positions.push_back(header + span * i / spread);
    return positions;
}

TJournalState MeasureState(HostFile& archive, const TPassOutcome& outcome) {
    TJournalState state;
    state.oldSize = archive.Size();
    state.newSize = outcome.newSize;
    const std::vector<int64_t> positions = StateSamplePositions(std::min(state.oldSize, state.newSize));
    // Every old byte and every moved byte's source, read in one go.
    std::vector<int64_t> reads = positions;
    std::vector<TByteSource> sources;
    sources.reserve(positions.size());
    for (const int64_t position : positions) {
        sources.push_back(outcome.sourceOf(position));
        if (sources.back().fromArchive) reads.push_back(sources.back().position);
    }
    std::vector<uint8_t> bytes(reads.size());
    if (!reads.empty()) archive.ReadBytesAt(reads, bytes.data());
    size_t moved = positions.size();
    for (size_t i = 0; i < positions.size(); ++i) {
        const uint8_t newByte = sources[i].fromArchive ? bytes[moved++] : sources[i].value;
        state.samples.push_back({positions[i], bytes[i], newByte});
    }
    return state;
}

TJournalState UnknownState() {
    TJournalState state;
    state.unknown = true;
    state.newSize = kMaxArchiveSize;
    return state;
}

std::vector<uint8_t> EncodeState(const TJournalState& state) {
    const auto count = static_cast<int64_t>(state.samples.size());
    std::vector<uint8_t> bytes(static_cast<size_t>(kTagLength + kFieldsLength + count * kSampleLength));
    std::memcpy(bytes.data(), kStateTag, sizeof kStateTag);
    uint8_t* fields = bytes.data() + kTagLength;
    PutLittleEndian(fields + kOldSizeAt, static_cast<uint64_t>(state.oldSize), kSizeWidth);
    PutLittleEndian(fields + kNewSizeAt, static_cast<uint64_t>(state.newSize), kSizeWidth);
    PutLittleEndian(fields + kContentAt, state.unknown ? kUnknownContent : kSampledContent, kContentWidth);
    PutLittleEndian(fields + kCountAt, static_cast<uint64_t>(count), kCountWidth);
    uint8_t* at = fields + kFieldsLength;
    for (const TStateSample& sample : state.samples) {
        PutLittleEndian(at + kPositionAt, static_cast<uint64_t>(sample.position), kPositionWidth);
        at[kOldByteAt] = sample.oldByte;
        at[kNewByteAt] = sample.newByte;
        at += kSampleLength;
    }
    return bytes;
}

bool ReadState(HostFile& journal, int64_t journalSize, TJournalState& state, std::vector<uint8_t>& body) {
    body.resize(kFieldsLength);
    if (journal.Read(body.data(), kFieldsLength) != kFieldsLength) return false;
    TStateFields fields;
    if (!DecodeFields(body.data(), fields)) return false;
    const int64_t sampleBytes = static_cast<int64_t>(fields.count) * kSampleLength;
    if (sampleBytes > journalSize - journal.Position()) return false;
    body.resize(static_cast<size_t>(kFieldsLength + sampleBytes));
    if (journal.Read(body.data() + kFieldsLength, sampleBytes) != sampleBytes) return false;
    state.unknown = fields.content == kUnknownContent;
    state.oldSize = fields.oldSize;
    state.newSize = fields.newSize;
    const int64_t limit = std::min(fields.oldSize, fields.newSize);
    return DecodeSamples(body.data() + kFieldsLength, fields.count, limit, state.samples);
}

bool ArchiveFitsState(const TJournalState& state, HostFile& archive, int64_t restoredSize,
                      const std::vector<std::optional<uint8_t>>& restored) {
    if (state.unknown) return true;
    const int64_t size = archive.Size();
    if (!SizeFits(state, size, restoredSize)) return false;
    // A roll-back cut short after its cut may leave fewer bytes than the state's range.
    std::vector<int64_t> positions;
    std::vector<size_t> which;
    for (size_t i = 0; i < state.samples.size(); ++i) {
        if (state.samples[i].position >= size) continue;
        positions.push_back(state.samples[i].position);
        which.push_back(i);
    }
    std::vector<uint8_t> bytes(positions.size());
    if (!positions.empty()) archive.ReadBytesAt(positions, bytes.data());
    for (size_t k = 0; k < positions.size(); ++k) {
        const size_t i = which[k];
        if (!ByteFits(state.samples[i], bytes[k], restored[i])) return false;
    }
    return true;
}
