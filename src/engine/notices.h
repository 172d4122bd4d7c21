// What an operation has to tell its user besides its result: a path it could not handle, or
// a file it found beside the archive and left alone, each with the reason. The engine prints
// nothing; the front ends decide how to show these.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct TNotice {
    std::string path;  // the file or folder concerned
    std::string text;  // a whole sentence that names the path: `cannot read "a/b": Permission denied`
};

using TNotices = std::vector<TNotice>;

// Adds a notice when the caller asked for them (notices is not null).
inline void Notify(TNotices* notices, const std::string& path, std::string text) {
    if (notices != nullptr) notices->push_back({path, std::move(text)});
}

// `what "path": reason`, the form every notice takes.
inline std::string NoticeText(const std::string& what, const std::string& path, const std::string& reason) {
    return what + " \"" + path + "\": " + reason;
}
