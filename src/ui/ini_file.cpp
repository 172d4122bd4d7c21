#include "ui/ini_file.h"

// Values are bytes as they stand in the file; no character conversion.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

struct TIniFile::TData {
    CSimpleIniA ini{false, false, false};
};

namespace {

constexpr size_t kHexPrefixLength = 2;
constexpr uint64_t kMaxHexValue = 0xFFFFFFFFull;

bool IsHexText(const std::string& text) {
    return text.size() > kHexPrefixLength && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

bool ParseHex(const std::string& digits, int32_t& value) {
    uint64_t result = 0;
    for (char c : digits) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        result = result * 16 + static_cast<uint64_t>(digit);
        if (result > kMaxHexValue) return false;
    }
    // Eight digits cover the 32 bits: 0xFFFFFFFF is -1.
    value = static_cast<int32_t>(static_cast<uint32_t>(result));
    return true;
}

bool ParseDecimal(const std::string& text, int32_t& value) {
    size_t pos = 0;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) ++pos;
    if (pos == text.size()) return false;
    for (size_t i = pos; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    errno = 0;
    const long long result = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || result < std::numeric_limits<int32_t>::min() || result > std::numeric_limits<int32_t>::max())
        return false;
    value = static_cast<int32_t>(result);
    return true;
}

// A file that is missing, is no regular file, or cannot be read counts as empty.
std::string ReadFileIfAny(const std::string& fileName) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error)) return {};
    try {
        std::ifstream in(fileName, std::ios::binary);
        if (!in) return {};
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        return {};
    }
}

bool IsCommentLine(const std::string& trimmed) { return !trimmed.empty() && (trimmed[0] == ';' || trimmed[0] == '#'); }

std::string Trimmed(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

// The comment lines that follow the file's last section or key line.
std::string TrailingComments(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        lines.push_back(Trimmed(text.substr(from, end - from)));
        from = end + 1;
    }
    size_t start = lines.size();
    while (start > 0 && (lines[start - 1].empty() || IsCommentLine(lines[start - 1]))) --start;
    if (start == 0) return {};  // no entry at all: the parser keeps such comments itself
    std::string comments;
    for (size_t i = start; i < lines.size(); ++i)
        if (!lines[i].empty()) comments += lines[i] + "\n";
    return comments;
}

}  // namespace

int32_t IniTextToInt(const std::string& text, int32_t fallback) {
    int32_t value = 0;
    const bool valid = IsHexText(text) ? ParseHex(text.substr(kHexPrefixLength), value) : ParseDecimal(text, value);
    return valid ? value : fallback;
}

TIniFile::TIniFile(std::string fileName) : data_(std::make_unique<TData>()), fileName_(std::move(fileName)) {
    data_->ini.SetSpaces(false);
    const std::string text = ReadFileIfAny(fileName_);
    if (text.empty()) return;
    if (data_->ini.LoadData(text) < 0) {
        data_->ini.Reset();
        return;
    }
    trailingComments_ = TrailingComments(text);
}

TIniFile::~TIniFile() = default;

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& fallback) const {
    const char* value = data_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    if (value == nullptr) return fallback;
    std::string text(value);
    if (text.size() > kIniMaxTextLength) text.resize(kIniMaxTextLength);
    return text;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const {
    const char* value = data_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    if (value == nullptr) return fallback;
    return IniTextToInt(value, fallback);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    data_->ini.SetValue(section.c_str(), key.c_str(), value.c_str());
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::UpdateFile() {
    std::string text;
    if (data_->ini.Save(text) < 0) throw ESettingsWriteError(fileName_);
    if (!trailingComments_.empty()) text += "\n" + trailingComments_;
    // The user's configuration folder may not exist yet; a failure shows when writing.
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::path(fileName_).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
    std::ofstream out(fileName_, std::ios::binary | std::ios::trunc);
    if (!out) throw ESettingsWriteError(fileName_);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) throw ESettingsWriteError(fileName_);
}
