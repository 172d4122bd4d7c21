#include "engine/format/hash_tag.h"

#include <algorithm>

#include "engine/format/internal/hash_tag.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "support/sha1.h"

namespace {

constexpr size_t kTagBytes = 12;
constexpr size_t kTagTextLength = 2 * kTagBytes;
constexpr size_t kWordDigits = 8;  // one 32-bit word of the tag text
constexpr size_t kWords = kTagBytes / 4;

// The path as the game hashes it: ASCII letters lowered, "/" as "\". Bytes from 0x80 up
// stay as they are, so names that differ only in accented letters keep different tags.
std::string NormalisedArchivePath(const std::string& path) {
    std::string normalised = path;
    for (char& c : normalised) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
        else if (c == '/') c = '\\';
    }
    return normalised;
}

}  // namespace

HashTag PathHashTag(const std::string& path) {
    HashTag tag{};
    if (path.empty()) return tag;
    const std::string normalised = NormalisedArchivePath(path);
    const TSha1Digest digest = Sha1Digest(normalised.data(), normalised.size());
    std::copy_n(digest.begin(), kTagBytes, tag.begin());
    return tag;
}

std::string TagToText(const HashTag& tag) {
    return LowerHexOfBytes(tag.data(), tag.size());
}

HashTag TagFromText(const std::string& text) {
    std::string digits = text;
    if (digits.size() < kTagTextLength) digits.append(kTagTextLength - digits.size(), '0');
    HashTag tag{};
    for (size_t k = 0; k < kWords; ++k) {
        // Most significant byte first, so the bytes follow the digit order of the text.
        const auto word = static_cast<uint32_t>(HexToInt(digits.substr(k * kWordDigits, kWordDigits)));
        for (size_t b = 0; b < 4; ++b) tag[4 * k + b] = static_cast<uint8_t>(word >> (8 * (3 - b)));
    }
    return tag;
}

std::string AttachTag(const std::string& outputPath, const std::string& archivePath) {
    const std::string tagText = TagToText(PathHashTag(archivePath));
    TSplitPath parts = SplitPath(outputPath);
    if (!parts.dir.empty()) WithTrailingBackslash(parts.dir);
    return parts.dir + parts.stem + ".[" + tagText + "]" + parts.ext;
}

std::string HashTagFromFileName(const std::string& path) {
    const std::string stem = SplitPath(path).stem;
    // The closing bracket needs "[" and the 24 tag characters in front of it.
    const size_t close = LastCharPos(stem, ']');
    if (close <= kTagTextLength + 1) return "";
    const std::string beforeClose = stem.substr(0, close - 1);
    const size_t open = LastCharPos(beforeClose, '[');
    if (open == 0) return "";
    const std::string candidate = beforeClose.substr(open);
    return candidate.size() == kTagTextLength ? candidate : "";
}
