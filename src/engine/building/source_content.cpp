#include "engine/building/internal/source_content.h"

#include <algorithm>

#include "engine/format/internal/archive_format.h"
#include "engine/format/internal/loc_convert.h"
#include "support/whole_file.h"

namespace {

constexpr int64_t kPerFileOverhead = 4096;

}  // namespace

std::string ObtainStoredContent(bool bigEndian, bool convertLoc, const std::string& hostPath, TArrayOfByte& content) {
    TArrayOfByte bytes;
    const std::string problem = ReadWholeFileOrSayWhy(hostPath, bytes, kMaxArchiveSize);
    if (!problem.empty()) return problem;
    if (!(convertLoc && IsLocFileName(hostPath))) {
        content = std::move(bytes);
        return "";
    }
    if (!TextBytesToLoc(bigEndian, bytes, content)) return "its text makes a string table too large to store";
    return "";
}

int64_t CompressionCost(int64_t size) {
    size = std::max<int64_t>(size, 0);
    return size * 2 + size / 10 + kPerFileOverhead;
}
