#include "engine/source_content.h"

#include "engine/archive_format.h"
#include "engine/loc_convert.h"
#include "support/whole_file.h"

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
