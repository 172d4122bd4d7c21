#include "helpers/hand_journal.h"

#include <zlib.h>

#include <algorithm>

#include "support/sha1.h"

HandJournal::HandJournal(const host::FileIdentity& identity, int64_t oldSize, uint32_t layoutVersion)
    : layout(layoutVersion) {
    PutText("VPAK-JNL", 8);
    PutUint(layout, 4);
    PutUint(40, 4);
    PutUint(identity.device, 8);
    PutUint(identity.inode, 8);
    PutUint(static_cast<uint64_t>(oldSize), 8);
}

TArrayOfByte HandJournal::NeverActedOn() const {
    TArrayOfByte fresh = bytes;
    const char* magic = "VPAK-NEW";
    std::copy(magic, magic + 8, fresh.begin());
    return fresh;
}

void HandJournal::PutUint(uint64_t value, int width) {
    for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void HandJournal::PutText(const char* text, size_t n) {
    for (size_t i = 0; i < n; ++i) bytes.push_back(static_cast<uint8_t>(text[i]));
}

void HandJournal::Save(int64_t offset, const TArrayOfByte& saved) {
    PutText("SAVE", 4);
    PutUint(0, 4);
    PutUint(static_cast<uint64_t>(offset), 8);
    PutUint(saved.size(), 8);
    bytes.insert(bytes.end(), saved.begin(), saved.end());
}

void HandJournal::State(int64_t oldSize, int64_t newSize, const std::vector<Sample>& samples) {
    PutText("STAT", 4);
    PutUint(0, 4);
    PutUint(static_cast<uint64_t>(oldSize), 8);
    PutUint(static_cast<uint64_t>(newSize), 8);
    PutUint(0, 4);
    PutUint(samples.size(), 4);
    for (const Sample& sample : samples) {
        PutUint(static_cast<uint64_t>(sample.position), 8);
        bytes.push_back(sample.oldByte);
        bytes.push_back(sample.newByte);
    }
}

void HandJournal::UnknownState() {
    PutText("STAT", 4);
    PutUint(0, 4);
    PutUint(0, 8);
    PutUint(0x7FFFFFFF, 8);
    PutUint(1, 4);
    PutUint(0, 4);
}

int64_t HandJournal::Data(const TArrayOfByte& stream) {
    PutText("DATA", 4);
    PutUint(0, 4);
    PutUint(stream.size(), 8);
    const auto at = static_cast<int64_t>(bytes.size());
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    return at;
}

void HandJournal::Plan(int64_t finalSize, int64_t pieceLength, const std::vector<PlanMove>& moves,
                       const std::vector<PlanStream>& streams, const TArrayOfByte& head) {
    PutText("PLAN", 4);
    PutUint(0, 4);
    for (const int64_t field : {finalSize, pieceLength, static_cast<int64_t>(moves.size()),
                                static_cast<int64_t>(streams.size()), static_cast<int64_t>(head.size())})
        PutUint(static_cast<uint64_t>(field), 8);
    for (const PlanMove& move : moves)
        for (const int64_t field : {move.from, move.to, move.length}) PutUint(static_cast<uint64_t>(field), 8);
    for (const PlanStream& stream : streams) {
        PutUint(static_cast<uint64_t>(stream.position), 8);
        PutUint(stream.bytes.size(), 8);
        if (layout >= 5) PutUint(static_cast<uint64_t>(stream.parkedAt), 8);
        if (layout < 5 || stream.parkedAt == 0) bytes.insert(bytes.end(), stream.bytes.begin(), stream.bytes.end());
    }
    bytes.insert(bytes.end(), head.begin(), head.end());
}

void HandJournal::Seal() {
    TArrayOfByte sum;
    if (layout == 1) {
        const TSha1Digest digest = Sha1Digest(bytes.data(), bytes.size());
        sum.assign(digest.begin(), digest.end());
    } else {
        const uLong crc = crc32(0, bytes.data(), static_cast<uInt>(bytes.size()));
        for (int i = 0; i < 4; ++i) sum.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    }
    PutText("SEAL", 4);
    PutUint(0, 4);
    bytes.insert(bytes.end(), sum.begin(), sum.end());
}
