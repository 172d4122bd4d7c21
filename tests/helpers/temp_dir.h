// A fresh directory per test, removed afterwards, and small file helpers for tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/bytes.h"

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // path_ + "/" + relative
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& content);
void WriteFile(const std::string& path, const TArrayOfByte& content);
std::string ReadFileText(const std::string& path);
TArrayOfByte ReadFileBytes(const std::string& path);
TArrayOfByte Bytes(const std::string& text);
