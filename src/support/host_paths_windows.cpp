#include "support/host_paths_windows.h"

#include <windows.h>

#include "support/windows_names.h"

namespace host {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Every component converted on its own, separators turned into "\".
std::u16string ComponentsAsText(const std::string& path) {
    std::u16string text;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        text += WindowsTextOfName(path.substr(start, end - start));
        if (end == path.size()) break;
        text.push_back(u'\\');
        start = end + 1;
    }
    return text;
}

// GetFullPathNameW, which resolves "." and ".." and joins a relative path to the current
// folder; the text as it was when that fails (a path Windows cannot make whole).
std::u16string FullPath(const std::u16string& text) {
    const auto* in = reinterpret_cast<const wchar_t*>(text.c_str());
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFullPathNameW(in, static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return text;
        if (length < full.size()) {
            full.resize(length);
            return std::u16string(reinterpret_cast<const char16_t*>(full.data()), full.size());
        }
        full.resize(length);
    }
}

}  // namespace

std::wstring WidePath(const std::string& path) {
    const std::u16string text = ComponentsAsText(path);
    // A path already in the long-path form is taken as it is: Windows rewrites nothing in it.
    const std::u16string whole = text.rfind(u"\\\\?\\", 0) == 0 ? text : LongPathForm(FullPath(text));
    return std::wstring(reinterpret_cast<const wchar_t*>(whole.data()), whole.size());
}

}  // namespace host
