#include "engine/format/internal/directory_walk.h"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/format/internal/archive_format.h"
#include "support/number_text.h"
#include "support/zlib_adapter.h"

namespace {

constexpr int32_t kBadNameLength = 9;  // "**error**", shown for a length out of range
// The image grows by at least this much at a time: inflating in pieces this size costs no
// more than inflating the whole, and a walk that stops early holds little beyond its records.
constexpr int64_t kInflatePiece = 1 << 20;

class DirectoryCursor {
public:
    DirectoryCursor(bool bigEndian, TDirectoryImage& image, TWalkResult& state)
        : bigEndian_(bigEndian), image_(image), state_(state) {}

    bool Overran() const { return state_.overran; }
    int32_t Position() const { return state_.cursor; }

    int32_t ReadDirInt() {
        if (!Fits(4)) return 0;
        const int32_t raw = ReadInt32At(image_.Bytes(), static_cast<size_t>(state_.cursor));
        state_.cursor += 4;
        return FromArchiveOrder(bigEndian_, raw);
    }

    // Reads a name and returns its length; -1 for a length out of range, when the cursor
    // stays behind the length field and the rest of the walk misreads.
    int32_t ReadDirString() {
        const int32_t length = ReadDirInt();
        if (Overran()) return 0;
        if (length < 0 || length > kMaxNameLength) {
            ++state_.errorCount;
            return -1;
        }
        if (!Fits(length)) return 0;
        state_.cursor += length;
        return length;
    }

private:
    bool Fits(int64_t count) {
        if (image_.Reach(static_cast<int64_t>(state_.cursor) + count)) return true;
        state_.overran = true;
        return false;
    }

    bool bigEndian_;
    TDirectoryImage& image_;
    TWalkResult& state_;
};

int64_t ShownLength(int32_t nameLength) { return nameLength < 0 ? kBadNameLength : nameLength; }

// One folder record being walked, and how many of its sub-folders remain.
struct FolderFrame {
    int32_t folder;
    int32_t remainingFolders;
};

class TWalk {
public:
    TWalk(bool bigEndian, TDirectoryImage& image, int32_t headerSize, const TWalkLimits& limits,
          TArchiveIndex& index)
        : cursor_(bigEndian, image, result_), headerSize_(headerSize), limits_(limits), index_(index) {}

    TWalkResult Run() {
        EnterFolder(-1, 0);
        while (!stack_.empty() && !cursor_.Overran() && !result_.tooLarge) {
            FolderFrame& frame = stack_.back();
            if (frame.remainingFolders > 0) {
                --frame.remainingFolders;
                const int32_t parent = frame.folder;
                const int32_t nameLength = cursor_.ReadDirString();
                if (cursor_.Overran()) break;
                EnterFolder(parent, nameLength);
                continue;
            }
            const int32_t folder = frame.folder;
            stack_.pop_back();
            WalkFiles(folder);
        }
        return result_;
    }

private:
    // Adds the folder whose name the cursor has just passed, and reads its count of
    // sub-folders.
    void EnterFolder(int32_t parent, int32_t nameLength) {
        folderNameBytes_ += ShownLength(nameLength);
        if (static_cast<int64_t>(index_.folders.size()) >= limits_.folderRecords ||
            folderNameBytes_ > limits_.listingBytes) {
            result_.tooLarge = true;
            return;
        }
        TArchiveFolder folder;
        folder.parent = parent;
        folder.recordPos = cursor_.Position();
        folder.nameLength = nameLength;
        if (parent >= 0) {
            const TArchiveFolder& above = index_.folders[static_cast<size_t>(parent)];
            folder.depth = above.depth + 1;
            folder.pathLength = above.pathLength + ShownLength(nameLength) + 1;
        }
        const int32_t folders = cursor_.ReadDirInt();
        if (cursor_.Overran()) return;
        index_.folders.push_back(folder);
        stack_.push_back({static_cast<int32_t>(index_.folders.size() - 1), std::max(folders, 0)});
    }

    void WalkFiles(int32_t folder) {
        const int32_t files = cursor_.ReadDirInt();
        const int64_t prefixLength = index_.folders[static_cast<size_t>(folder)].pathLength;
        for (int32_t i = 0; i < files && !cursor_.Overran(); ++i) {
            TArchiveEntry entry;
            entry.folder = folder;
            entry.nameLength = cursor_.ReadDirString();
            entry.entryPos = cursor_.Position();
            entry.dataOffset = cursor_.ReadDirInt();
            entry.packedSize = cursor_.ReadDirInt();
            entry.unpackedSize = cursor_.ReadDirInt();
            if (cursor_.Overran()) return;
            listingBytes_ += kPrefixLength + prefixLength + ShownLength(entry.nameLength);
            if (listingBytes_ > limits_.listingBytes ||
                static_cast<int64_t>(index_.entries.size()) >= limits_.fileRecords) {
                result_.tooLarge = true;
                return;
            }
            entry.streamStart = static_cast<int64_t>(headerSize_) + entry.dataOffset;
            index_.entries.push_back(entry);
        }
    }

    TWalkResult result_;
    DirectoryCursor cursor_;
    const int32_t headerSize_;
    const TWalkLimits& limits_;
    TArchiveIndex& index_;
    std::vector<FolderFrame> stack_;
    int64_t listingBytes_ = 0;
    int64_t folderNameBytes_ = 0;
};

}  // namespace

TDirectoryImage::TDirectoryImage(TArrayOfByte whole)
    : bytes_(std::move(whole)), declared_(static_cast<int64_t>(bytes_.size())) {}

TDirectoryImage::TDirectoryImage(const TArrayOfByte& packed, int32_t declaredSize)
    : declared_(std::max(declaredSize, 0)),
      inflater_(std::make_unique<TPieceInflater>(packed.data(), static_cast<int64_t>(packed.size()))) {}

TDirectoryImage::~TDirectoryImage() = default;

bool TDirectoryImage::Reach(int64_t end) {
    const auto held = static_cast<int64_t>(bytes_.size());
    if (end <= held) return true;
    if (end > declared_ || !inflater_) return false;
    const int64_t wanted = std::min(std::max(end - held, kInflatePiece), declared_ - held);
    inflater_->Inflate(wanted, bytes_);
    return static_cast<int64_t>(bytes_.size()) >= end;
}

TDeclaredSize TDirectoryImage::CheckDeclaredSize(int64_t budget) {
    if (!inflater_) return TDeclaredSize::Matches;
    const auto held = static_cast<int64_t>(bytes_.size());
    if (declared_ - held > budget) return TDeclaredSize::Unchecked;
    // One byte more than declared is enough to tell a longer stream.
    const int64_t rest = inflater_->Skip(declared_ - held + 1);
    return inflater_->Ended() && held + rest == declared_ ? TDeclaredSize::Matches : TDeclaredSize::Differs;
}

int64_t MaxFileRecords(int64_t dataAreaSize) {
    return std::max<int64_t>(dataAreaSize, 0) / kSmallestStreamSize * kStreamSharingFactor + kRecordAllowance;
}

int64_t MaxFolderRecords(int64_t dataAreaSize) { return MaxFileRecords(dataAreaSize) + kFolderRecordAllowance; }

TWalkResult WalkDirectory(bool bigEndian, TDirectoryImage& image, int32_t headerSize, const TWalkLimits& limits,
                          TArchiveIndex& index) {
    return TWalk(bigEndian, image, headerSize, limits, index).Run();
}

void AppendListing(const TArchiveIndex& index, TStringList& listing) {
    listing.reserve(listing.size() + index.entries.size());
    TEntryPaths paths(index);
    for (const TArchiveEntry& entry : index.entries)
        listing.push_back(ListingLine(entry, index.headerSize, paths.Of(entry)));
}

TWalkResult WalkDirectory(bool bigEndian, const TArrayOfByte& directory, int32_t headerSize, TStringList& listing,
                          const TWalkLimits& limits) {
    TDirectoryImage image(directory);
    TArchiveIndex index;
    index.headerSize = headerSize;
    const TWalkResult walk = WalkDirectory(bigEndian, image, headerSize, limits, index);
    index.directory = image.Take();
    AppendListing(index, listing);
    return walk;
}
