#include "support/number_text.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kLowerHexDigits[] = "0123456789abcdef";

std::string HexWith(const char* digits, const void* bytes, size_t n) {
    std::string text(2 * n, '0');
    const auto* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < n; ++i) {
        text[2 * i] = digits[p[i] >> 4];
        text[2 * i + 1] = digits[p[i] & 0x0F];
    }
    return text;
}

}  // namespace

std::string HexByte(uint8_t b) {
    return std::string{kHexDigits[b >> 4], kHexDigits[b & 0x0F]};
}

std::string HexLong(int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    std::string text(8, '0');
    for (int k = 0; k < 8; ++k) text[7 - k] = kHexDigits[(v >> (4 * k)) & 0x0F];
    return text;
}

std::string HexOfBytes(const void* bytes, int32_t n) {
    return n <= 0 ? std::string() : HexWith(kHexDigits, bytes, static_cast<size_t>(n));
}

std::string LowerHexOfBytes(const void* bytes, size_t n) { return HexWith(kLowerHexDigits, bytes, n); }

int32_t HexToInt(const std::string& text) {
    uint32_t value = 0;
    for (char c : text) {
        uint32_t digit = 0;
        if (c >= '1' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
        value = (value << 4) + digit;
    }
    return static_cast<int32_t>(value);
}

std::string GroupThousands(int64_t n) {
    std::string digits = std::to_string(n);
    const bool negative = !digits.empty() && digits[0] == '-';
    if (negative) digits.erase(0, 1);
    std::string result;
    int taken = 0;
    for (size_t i = digits.size(); i > 0; --i) {
        result.insert(result.begin(), digits[i - 1]);
        if (++taken % 3 == 0 && i > 1) result.insert(result.begin(), ',');
    }
    return negative ? "-" + result : result;
}

size_t LastCharPos(const std::string& text, char ch) {
    const size_t p = text.rfind(ch);
    return p == std::string::npos ? 0 : p + 1;
}

std::string LowerAscii(const std::string& text) {
    std::string result = text;
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
    return result;
}

void SlashesToBackslashes(std::string& text) {
    for (char& c : text)
        if (c == '/') c = '\\';
}
