// The window's settings file: its place and size, both paths and the options, read once at
// creation and written at close.
#pragma once

#include <QRect>
#include <string>

// What the settings file keeps of the window.
struct TSettings {
    QRect outer;  // the window's outer place and size, as when neither maximized nor full screen
    std::string archivePath;
    std::string directory;
    bool hashTags = false;
    bool xbox = false;
    bool autoConvertLocFiles = true;
    bool fadeEffectOnExit = true;
    bool details = false;  // the contents tree's Details view
    bool preview = false;  // the preview pane shows beside the tree
};

class TSettingsFile {
public:
    explicit TSettingsFile(std::string fileName) : fileName_(std::move(fileName)) {}

    // The file's values; where it lacks one, or holds one that does not read, the value of
    // current stays. A missing or unreadable file is an empty one.
    TSettings Read(const TSettings& current) const;
    // Writes the values and keeps everything else the file holds; raises
    // ESettingsWriteError when the file cannot be written.
    void Write(const TSettings& settings) const;

private:
    std::string fileName_;
};
