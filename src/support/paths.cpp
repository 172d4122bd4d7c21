#include "support/paths.h"

#include <map>
#include <set>

#include "support/collation.h"
#include "support/errors.h"
#include "support/host.h"
#include "support/number_text.h"

#include <cerrno>
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
    return !host::ListDirectory(dir).empty();
}

bool CreateDirChain(std::string base, std::string rel) {
    WithTrailingBackslash(base);
    WithTrailingBackslash(rel);
    bool ok = true;
    std::string rest = rel;
    // A component that starts with a backslash (two in a row) ends the chain.
    while (ok && !rest.empty()) {
        const size_t p = rest.find('\\');
        if (p == std::string::npos || p == 0) break;
        base += rest.substr(0, p);
        rest.erase(0, p + 1);
        if (!DirExistsSafe(base) && !host::MakeDirectory(base)) ok = false;
        base += '\\';
    }
    return ok;
}

bool CreateFullDirPath(const std::string& path) {
    std::string p = path;
    SlashesToBackslashes(p);
    if (p.empty()) return false;
    if (!host::IsLocalWritableMedium(p)) return false;
    // An absolute path starts from the root; a relative one from the current directory.
    if (p[0] == '\\') {
        size_t start = p.find_first_not_of('\\');
        if (start == std::string::npos) return true;
        return CreateDirChain("\\", p.substr(start));
    }
    return CreateDirChain("", p);
}

void CreateDirsForFile(std::string base, const std::string& rel) {
    if (base.empty()) base = ".";
    if (base.back() != '\\') base += '\\';
    std::string rest = rel;
    while (!rest.empty()) {
        const size_t p = rest.find('\\');
        if (p == std::string::npos || p == 0) break;
        base += rest.substr(0, p);
        rest.erase(0, p + 1);
        if (!DirExistsSafe(base) && !host::MakeDirectory(base)) {
            const int code = errno;
            throw EInOutError(code, "Cannot create directory \"" + base + "\": " + std::strerror(code));
        }
        base += '\\';
    }
}

void CreateDirList(const std::string& base, const TStringList& dirs) {
    for (const std::string& entry : dirs) CreateDirsForFile(base, entry);
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

namespace {

void CountFolder(const std::string& dir, bool recurse, TTreeCount& count,
                 std::vector<host::FileIdentity>& ancestors) {
    for (const host::DirEntry& entry : host::ListDirectory(dir)) {
        if (entry.info.kind != host::EntryKind::Directory) {
            ++count.fileCount;
            continue;
        }
        ++count.dirCount;
        if (!recurse) continue;
        // A link back to a folder on the current path would make the walk endless.
        bool loop = false;
        for (const auto& a : ancestors) loop = loop || a == entry.info.identity;
        if (loop) continue;
        ancestors.push_back(entry.info.identity);
        CountFolder(dir + entry.name + "\\", recurse, count, ancestors);
        ancestors.pop_back();
    }
}

}  // namespace

TTreeCount CountTree(std::string dir, bool recurse) {
    TTreeCount count;
    WithTrailingBackslash(dir);
    if (!DirExistsSafe(dir)) return count;
    std::vector<host::FileIdentity> ancestors{host::Stat(dir).identity};
    CountFolder(dir, recurse, count, ancestors);
    count.ok = true;
    return count;
}

bool ReadWholeFile(const std::string& path, TArrayOfByte& buffer) {
    const host::EntryInfo info = host::Stat(path);
    if (path.empty() || info.kind == host::EntryKind::Missing || info.kind == host::EntryKind::Directory)
        return false;
    // A FIFO, socket or device has no content to obtain, and opening one could block.
    if (info.kind == host::EntryKind::Other) return false;
    HostFile file(path, HostFile::Mode::Read);
    const int64_t size = file.Size();
    buffer.resize(static_cast<size_t>(size));
    const int64_t read = size > 0 ? file.Read(buffer.data(), size) : 0;
    file.Close();
    return read == size;
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
