// What an operation has to tell its user besides its result: a path it could not handle, or
// a file it found beside the archive and left alone, each with the reason; and, for a false
// result, why it failed. The engine prints nothing; the front ends decide how to show these.
#pragma once

#include <string>
#include <utility>
#include <vector>

// What the user may change to get a better result. The engine cannot name a front end's
// control, so each front end words it for its own ("--xbox", the "XBOX" box).
enum class TAdvice {
    None,
    ChooseXbox,  // the archive reads as an Xbox 360 archive
    ChoosePc,    // the archive reads as a PC archive
    TestArchive,  // the archive may be damaged: a test of it tells
};

struct TNotice {
    std::string path;  // the file or folder concerned, as the operation was given it
    std::string text;  // a whole sentence that names the path: `cannot read "a/b": Permission denied`
    TAdvice advice = TAdvice::None;
};

using TNotices = std::vector<TNotice>;

// Adds a notice when the caller asked for them (notices is not null).
inline void Notify(TNotices* notices, const std::string& path, std::string text,
                   TAdvice advice = TAdvice::None) {
    if (notices != nullptr) notices->push_back({path, std::move(text), advice});
}

// The same, unless an equal notice was told already: what an operation may come upon more
// than once (a left-over beside the archive, which every step that opens the archive finds
// again) is told once.
inline void NotifyOnce(TNotices* notices, const std::string& path, std::string text,
                       TAdvice advice = TAdvice::None) {
    if (notices == nullptr) return;
    for (const TNotice& told : *notices)
        if (told.path == path && told.text == text && told.advice == advice) return;
    notices->push_back({path, std::move(text), advice});
}

// `what "path": reason`, the form every notice takes.
inline std::string NoticeText(const std::string& what, const std::string& path, const std::string& reason) {
    return what + " \"" + path + "\": " + reason;
}
