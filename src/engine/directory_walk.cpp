#include "engine/internal/directory_walk.h"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/internal/archive_format.h"
#include "support/number_text.h"

namespace {

constexpr const char* kBadNameText = "**error**";
constexpr char kFieldSeparator = '*';

class DirectoryCursor {
public:
    DirectoryCursor(bool bigEndian, const TArrayOfByte& directory, TWalkResult& state)
        : bigEndian_(bigEndian), directory_(directory), state_(state) {}

    bool Overran() const { return state_.overran; }
    int32_t Position() const { return state_.cursor; }

    int32_t ReadDirInt() {
        if (!Fits(4)) return 0;
        const int32_t raw = ReadInt32At(directory_, static_cast<size_t>(state_.cursor));
        state_.cursor += 4;
        return FromArchiveOrder(bigEndian_, raw);
    }

    std::string ReadDirString() {
        const int32_t length = ReadDirInt();
        if (Overran()) return {};
        if (length < 0 || length > kMaxNameLength) {
            // The cursor stays behind the length field; the rest of the walk misreads.
            ++state_.errorCount;
            return kBadNameText;
        }
        if (!Fits(length)) return {};
        std::string name(reinterpret_cast<const char*>(directory_.data()) + state_.cursor,
                         static_cast<size_t>(length));
        state_.cursor += length;
        return name;
    }

private:
    bool Fits(int64_t count) {
        if (static_cast<int64_t>(state_.cursor) + count <= static_cast<int64_t>(directory_.size())) return true;
        state_.overran = true;
        return false;
    }

    bool bigEndian_;
    const TArrayOfByte& directory_;
    TWalkResult& state_;
};

std::string ListingLine(int32_t entryPos, int32_t dataOffset, int32_t headerSize, int32_t packedSize,
                        int32_t unpackedSize, const std::string& path) {
    const int32_t absOffset =
        static_cast<int32_t>(static_cast<uint32_t>(headerSize) + static_cast<uint32_t>(dataOffset));
    std::string line;
    line.reserve(kPrefixLength + path.size());
    for (int32_t field : {entryPos, dataOffset, absOffset, packedSize, unpackedSize}) {
        line += HexLong(field);
        line += kFieldSeparator;
    }
    line += path;
    return line;
}

// One folder record being walked: where its prefix ends, and how many sub-folders remain.
struct FolderFrame {
    size_t prefixLength;
    int32_t remainingFolders;
    int32_t shapeIndex;  // in the shape's folders, when one is taken
};

}  // namespace

int64_t MaxFileRecords(int64_t dataAreaSize) {
    return std::max<int64_t>(dataAreaSize, 0) / kSmallestStreamSize * kStreamSharingFactor + kRecordAllowance;
}

namespace {

// The walk, with a listing or a shape or both.
TWalkResult Walk(bool bigEndian, const TArrayOfByte& directory, int32_t headerSize, TStringList* listing,
                 const TWalkLimits& limits, TDirectoryShape* shape) {
    TWalkResult result;
    DirectoryCursor cursor(bigEndian, directory, result);
    std::string prefix;
    std::vector<FolderFrame> stack;
    int64_t listingBytes = 0;
    int64_t fileRecords = 0;

    auto enterFolder = [&](const std::string& name) {
        if (!prefix.empty()) prefix += '\\';
        const int32_t folders = cursor.ReadDirInt();
        if (cursor.Overran()) return;
        int32_t shapeIndex = -1;
        if (shape != nullptr) {
            if (static_cast<int64_t>(shape->folders.size()) >= limits.folderRecords) {
                result.tooLarge = true;
                return;
            }
            shapeIndex = static_cast<int32_t>(shape->folders.size());
            shape->folders.push_back({stack.empty() ? -1 : stack.back().shapeIndex, name});
        }
        stack.push_back({prefix.size(), folders > 0 ? folders : 0, shapeIndex});
    };

    enterFolder("");
    while (!stack.empty() && !cursor.Overran() && !result.tooLarge) {
        FolderFrame& frame = stack.back();
        prefix.resize(frame.prefixLength);
        if (frame.remainingFolders > 0) {
            --frame.remainingFolders;
            const std::string name = cursor.ReadDirString();
            if (cursor.Overran()) break;
            prefix += name;
            enterFolder(name);
            if (result.tooLarge) return result;
            continue;
        }
        const int32_t files = cursor.ReadDirInt();
        for (int32_t i = 0; i < files && !cursor.Overran(); ++i) {
            const std::string name = cursor.ReadDirString();
            const int32_t entryPos = cursor.Position();
            const int32_t dataOffset = cursor.ReadDirInt();
            const int32_t packedSize = cursor.ReadDirInt();
            const int32_t unpackedSize = cursor.ReadDirInt();
            if (cursor.Overran()) break;
            listingBytes += kPrefixLength + static_cast<int64_t>(prefix.size() + name.size());
            if (listingBytes > limits.listingBytes || ++fileRecords > limits.fileRecords) {
                result.tooLarge = true;
                return result;
            }
            if (listing != nullptr)
                listing->push_back(ListingLine(entryPos, dataOffset, headerSize, packedSize, unpackedSize, prefix + name));
            if (shape != nullptr) shape->files.push_back({frame.shapeIndex, name});
        }
        stack.pop_back();
    }
    return result;
}

}  // namespace

TWalkResult WalkDirectory(bool bigEndian, const TArrayOfByte& directory, int32_t headerSize,
                          TStringList& listing, const TWalkLimits& limits, TDirectoryShape* shape) {
    return Walk(bigEndian, directory, headerSize, &listing, limits, shape);
}

TWalkResult WalkDirectoryShape(bool bigEndian, const TArrayOfByte& directory, const TWalkLimits& limits,
                               TDirectoryShape& shape) {
    return Walk(bigEndian, directory, 0, nullptr, limits, &shape);
}

int32_t ListingField(const std::string& line, int32_t column) {
    return HexToInt(line.substr(static_cast<size_t>(column), kHexFieldWidth));
}
