// A settings file in INI form. Section and key names match without regard to letter case;
// values are kept as the bytes they are (a path with backslashes survives). Everything the
// program does not write itself, other sections, keys and comments, survives an update.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// Text values are read up to this many characters.
inline constexpr size_t kIniMaxTextLength = 2047;

// Raised when the settings file cannot be written; the message names the file.
class ESettingsWriteError : public std::runtime_error {
public:
    explicit ESettingsWriteError(const std::string& fileName) : std::runtime_error("Unable to write to " + fileName) {}
};

// Integer text: decimal, or hexadecimal when longer than two characters and starting with
// "0x" or "0X". Anything else, or a value beyond 32 bits, gives fallback.
int32_t IniTextToInt(const std::string& text, int32_t fallback);

class TIniFile {
public:
    // Reads the file when it exists; a missing or unreadable file is an empty one.
    explicit TIniFile(std::string fileName);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const;
    // An integer, non-zero meaning true.
    bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;
    std::string ReadString(const std::string& section, const std::string& key, const std::string& fallback) const;

    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);  // "1" or "0"
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

    // Writes the file; raises ESettingsWriteError when it cannot.
    void UpdateFile();

    const std::string& FileName() const { return fileName_; }

private:
    struct TData;
    std::unique_ptr<TData> data_;
    std::string fileName_;
    // Comment lines after the last entry: the parser keeps only comments that precede one.
    std::string trailingComments_;
};
