#include "ui/text_bridge.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>

namespace {

// Windows-1252 where it differs from Latin-1: the characters of 0x80 to 0x9F. The five
// bytes the code page leaves undefined keep their own code points, as Windows maps them.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString FromWindows1252(const std::string& bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += QChar(byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t(byte));
    }
    return text;
}

}  // namespace

QString DisplayName(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return utf8.hasError() ? FromWindows1252(bytes) : text;
}

bool ToWindows1252(const QString& text, std::string& bytes) {
    bytes.clear();
    bytes.reserve(static_cast<size_t>(text.size()));
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
            bytes += static_cast<char>(code);
            continue;
        }
        const auto* found = std::find(kHighControls.begin(), kHighControls.end(), code);
        if (found == kHighControls.end()) return false;
        bytes += static_cast<char>(0x80 + (found - kHighControls.begin()));
    }
    return true;
}
