// Existence tests: whether a host path names a file or a folder.
#pragma once

#include <string>

bool FileExistsSafe(const std::string& path);     // a file that is not a directory
bool DirExistsSafe(const std::string& path);      // a trailing slash is allowed
