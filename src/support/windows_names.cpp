#include "support/windows_names.h"

#include <array>
#include <cstdint>

namespace {

// Windows-1252 where it differs from Latin-1: the characters of 0x80 to 0x9F.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};


void AppendUtf16(std::u16string& text, int32_t c) {
    if (c < 0x10000) {
        text.push_back(static_cast<char16_t>(c));
        return;
    }
    c -= 0x10000;
    text.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    text.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
}

void AppendUtf8(std::string& bytes, int32_t c) {
    if (c < 0x80) {
        bytes.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        bytes.push_back(static_cast<char>(0xC0 | (c >> 6)));
        bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        bytes.push_back(static_cast<char>(0xE0 | (c >> 12)));
        bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        bytes.push_back(static_cast<char>(0xF0 | (c >> 18)));
        bytes.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::u16string FromWindows1252(const std::string& name) {
    std::u16string text;
    text.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<uint8_t>(c);
        text.push_back(byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t(byte));
    }
    return text;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The device names, matched on what comes before the name's first dot.
bool IsDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    // Windows drops the spaces after a device name too: "NUL .txt" is NUL.
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = AsciiUpper(c);
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    if (stem == "CONIN$" || stem == "CONOUT$") return true;
    // Windows documents COM0 and LPT0 as reserved too.
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '0' && stem[3] <= '9';
}

bool HasForbiddenCharacter(const std::string& name) {
    for (const char c : name) {
        if (static_cast<uint8_t>(c) < 0x20) return true;
        switch (c) {
            case '<': case '>': case ':': case '"': case '/': case '\\': case '|': case '?': case '*':
                return true;
            default:
                break;
        }
    }
    return false;
}

}  // namespace

int32_t NextUtf8(const std::string& text, size_t& i) {
    const auto lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    else return -1;
    if (i + length > text.size()) return -1;
    int32_t c = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<uint8_t>(text[i + k]);
        if ((next & 0xC0) != 0x80) return -1;
        c = (c << 6) | (next & 0x3F);
    }
    const int32_t least = length == 2 ? 0x80 : (length == 3 ? 0x800 : 0x10000);
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
    i += length;
    return c;
}

std::u16string WindowsTextOfName(const std::string& name) {
    std::u16string text;
    text.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const int32_t c = NextUtf8(name, i);
        if (c < 0) return FromWindows1252(name);
        AppendUtf16(text, c);
    }
    return text;
}

std::optional<std::string> NameOfWindowsText(const std::u16string& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit < 0xD800 || unit > 0xDFFF) {
            AppendUtf8(bytes, unit);
            continue;
        }
        const bool paired = unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (!paired) return std::nullopt;
        AppendUtf8(bytes, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
        ++i;
    }
    return bytes;
}

std::u16string LongPathForm(const std::u16string& absolutePath) {
    const std::u16string& p = absolutePath;
    if (p.rfind(u"\\\\?\\", 0) == 0) return p;
    if (p.rfind(u"\\\\", 0) == 0) return u"\\\\?\\UNC\\" + p.substr(2);
    const bool drive = p.size() >= 3 && p[1] == u':' && p[2] == u'\\' &&
                       ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z'));
    return drive ? u"\\\\?\\" + p : p;
}

bool IsForbiddenWindowsName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return true;
    if (name.back() == '.' || name.back() == ' ') return true;
    return HasForbiddenCharacter(name) || IsDeviceName(name);
}
