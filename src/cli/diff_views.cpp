#include "cli/diff_views.h"

#include <nlohmann/json.hpp>

#include "cli/list_views.h"
#include "support/display_text.h"

namespace {

char KindLetter(TDifferenceKind kind) {
    switch (kind) {
        case TDifferenceKind::Added: return 'A';
        case TDifferenceKind::Removed: return 'D';
        case TDifferenceKind::Changed: return 'M';
    }
    return '?';
}

const char* KindKey(TDifferenceKind kind) {
    switch (kind) {
        case TDifferenceKind::Added: return "added";
        case TDifferenceKind::Removed: return "removed";
        case TDifferenceKind::Changed: return "changed";
    }
    return "";
}

// The path with "/" between folders and every byte as it is: JSON escapes what needs it.
std::string SlashSeparated(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

}  // namespace

std::string DiffLines(const TArchiveDiff& diff) {
    std::string out;
    for (const TPathDifference& difference : diff.differences)
        out += std::string(1, KindLetter(difference.kind)) + " " +
               PrintableText(ArchivePathForUser(difference.path)) + "\n";
    return out;
}

std::string JsonDiff(const TArchiveDiff& diff) {
    nlohmann::ordered_json document;
    document["same"] = diff.Same();
    for (TDifferenceKind kind : {TDifferenceKind::Added, TDifferenceKind::Removed, TDifferenceKind::Changed})
        document[KindKey(kind)] = nlohmann::ordered_json::array();
    for (const TPathDifference& difference : diff.differences)
        document[KindKey(difference.kind)].push_back(JsonPath(SlashSeparated(difference.path)));
    document["archive_files"] = diff.entryCount;
    document["folder_files"] = diff.fileCount;
    return document.dump(2) + "\n";
}
