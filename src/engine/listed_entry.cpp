#include "engine/listed_entry.h"

#include "engine/internal/archive_format.h"
#include "engine/internal/directory_walk.h"
#include "support/paths.h"

int64_t TArchiveEntry::StreamStart() const {
    // The listing's absolute offset is the header size plus the data offset, wrapped to 32
    // bits; the header size itself never exceeds kMaxHeaderSize.
    const int64_t headerSize = static_cast<int32_t>(static_cast<uint32_t>(absOffset) - static_cast<uint32_t>(dataOffset));
    return headerSize + dataOffset;
}

TArchiveEntry EntryOfListingLine(const std::string& line) {
    TArchiveEntry entry;
    entry.entryPos = ListingField(line, kEntryPosColumn);
    entry.dataOffset = ListingField(line, kDataOffsetColumn);
    entry.absOffset = ListingField(line, kAbsOffsetColumn);
    entry.packedSize = ListingField(line, kPackedSizeColumn);
    entry.unpackedSize = ListingField(line, kUnpackedSizeColumn);
    entry.path = CutLine(line, kPrefixLength, kSuffixLength);
    return entry;
}
