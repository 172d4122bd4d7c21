#include "engine/archive_path_key.h"

std::string ArchivePathKey(std::string path) {
    for (char& c : path) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
        else if (c == '/') c = '\\';
    }
    return path;
}
