#include "support/paths.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>

#include "support/collation.h"
#include "support/existence.h"
#include "support/host_entries.h"
#include "support/number_text.h"

#include <cstring>

void SplitAtLastBackslash(const std::string& text, std::string& head, std::string& tail) {
    const size_t p = LastCharPos(text, '\\');
    if (p > 0) {
        head = text.substr(0, p - 1);
        tail = text.substr(p);
    } else {
        head.clear();
        tail = text;
    }
}

void WithTrailingBackslash(std::string& path) {
    if (path.empty()) path = ".";
    if (path.back() != '\\') path += '\\';
}

void StripTrailingBackslashes(std::string& path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
}

TSplitPath SplitPath(const std::string& path) {
    std::string copy = path;
    SlashesToBackslashes(copy);
    TSplitPath parts;
    std::string name;
    SplitAtLastBackslash(copy, parts.dir, name);
    const size_t q = LastCharPos(name, '.');
    if (q == 0) {
        parts.ext = ".";
        parts.stem = name;
    } else if (q == 1) {
        parts.ext = name;
    } else {
        parts.ext = name.substr(q - 1);
        parts.stem = name.substr(0, q - 1);
    }
    return parts;
}

bool DirHasEntries(const std::string& dir) {
    if (!DirExistsSafe(dir)) return false;
    const host::DirListing listing = host::ListDirectory(dir);
    return listing.errorCode != 0 || !listing.entries.empty();
}

namespace {

std::string CannotCreateFolder(const std::string& path, const std::string& reason) {
    return "cannot create the folder \"" + path + "\": " + reason;
}

// CreateDirChain that says which folder could not be made, and why ("" when none).
std::string CreateDirChainOrSayWhy(std::string base, const std::string& rel) {
    if (!base.empty() && base.back() != '/') base += '/';
    size_t start = 0;
    while (start < rel.size()) {
        const size_t slash = rel.find('/', start);
        const size_t end = slash == std::string::npos ? rel.size() : slash;
        // Repeated slashes name no component of their own.
        if (end > start) {
            base += rel.substr(start, end - start);
            if (!DirExistsSafe(base) && !host::MakeDirectory(base))
                return CannotCreateFolder(base, errno == EEXIST ? "something other than a folder has that name"
                                                                : host::ErrorText(errno));
            base += '/';
        }
        start = end + 1;
    }
    return "";
}

}  // namespace

bool CreateDirChain(std::string base, std::string rel) { return CreateDirChainOrSayWhy(std::move(base), rel).empty(); }

bool CreateFullDirPath(const std::string& path) { return CreateFullDirPathOrSayWhy(path).empty(); }

std::string CreateFullDirPathOrSayWhy(const std::string& path) {
    if (path.empty()) return "no folder was named";
    if (!host::IsLocalWritableMedium(path))
        return CannotCreateFolder(path, "it would lie on a network share or an optical disc");
    // An absolute path starts from the root; a relative one from the current directory.
    if (path[0] == '/') return CreateDirChainOrSayWhy("/", path.substr(1));
    return CreateDirChainOrSayWhy("", path);
}

std::string HostPathBelow(const std::string& dir, const std::string& relative) {
    std::string path = dir.empty() ? "." : dir;
    if (path.back() != '/') path += '/';
    for (const char c : relative) path += c == '\\' ? '/' : c;
    return path;
}

std::string HostBaseName(const std::string& path) {
    size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') --end;
    const size_t slash = path.rfind('/', end - 1);
    const size_t start = slash == std::string::npos || end == 0 ? 0 : slash + 1;
    return path.substr(start, end - start);
}

std::string HostPathOfEntry(const std::string& dir, const std::string& folder, const std::string& name) {
    std::string path = HostPathBelow(dir, folder);
    if (name.empty() && path.size() > 1 && path.back() == '/') path.pop_back();
    return path + name;
}

std::string CutLine(const std::string& line, int32_t cutStart, int32_t cutEnd) {
    std::string result = line;
    if (cutStart > 0) result.erase(0, std::min<size_t>(result.size(), static_cast<size_t>(cutStart)));
    if (cutEnd > 0) result.resize(result.size() - std::min<size_t>(result.size(), static_cast<size_t>(cutEnd)));
    return result;
}

namespace {
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return CompareTextNoCase(a, b) < 0; }
};
}  // namespace

int32_t CollectDirPrefixes(const TStringList& lines, TStringList& dirs, int32_t cutStart, int32_t cutEnd) {
    dirs.clear();
    // Membership ignores letter case: the first spelling of a folder wins.
    std::set<std::string, NoCaseLess> seen;
    int32_t count = 0;
    for (const std::string& line : lines) {
        std::string path = CutLine(line, cutStart, cutEnd);
        SlashesToBackslashes(path);
        const size_t last = path.rfind('\\');
        if (last == std::string::npos) continue;
        const std::string dirPart = path.substr(0, last + 1);
        if (seen.count(dirPart)) continue;
        size_t from = 0;
        while (from <= last) {
            const size_t slash = path.find('\\', from);
            const std::string prefix = path.substr(0, slash + 1);
            if (seen.insert(prefix).second) ++count;
            from = slash + 1;
        }
    }
    dirs.assign(seen.begin(), seen.end());
    return count;
}

void AppendTextToChars(const std::string& text, TArrayOfChar& chars) {
    chars.insert(chars.end(), text.begin(), text.end());
}

void AppendTextToBytes(const std::string& text, TArrayOfByte& buffer) {
    buffer.insert(buffer.end(), text.begin(), text.end());
}

void AppendInt32(int32_t value, TArrayOfByte& buffer) {
    const uint32_t v = static_cast<uint32_t>(value);
    for (int k = 0; k < 4; ++k) buffer.push_back(static_cast<uint8_t>(v >> (8 * k)));
}
