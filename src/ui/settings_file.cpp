#include "ui/settings_file.h"

#include "ui/ini_file.h"

namespace {

const std::string kWindowSection = "MainWindow";
const std::string kPathSection = "Path";
const std::string kOtherSection = "Other";
const std::string kMiscSection = "Misc";
const std::string kViewSection = "View";

}  // namespace

TSettings TSettingsFile::Read(const TSettings& current) const {
    const TIniFile ini(fileName_);
    TSettings read;
    const int top = ini.ReadInteger(kWindowSection, "Top", current.outer.top());
    const int left = ini.ReadInteger(kWindowSection, "Left", current.outer.left());
    read.outer = QRect(left, top, ini.ReadInteger(kWindowSection, "Width", current.outer.width()),
                       ini.ReadInteger(kWindowSection, "Height", current.outer.height()));
    read.archivePath = ini.ReadString(kPathSection, "pack_FileName", "");
    read.directory = ini.ReadString(kPathSection, "TargetDir", "");
    read.hashTags = ini.ReadBool(kOtherSection, "hash96", false);
    read.xbox = ini.ReadBool(kOtherSection, "XBOX360", false);
    read.autoConvertLocFiles = ini.ReadBool(kOtherSection, "AutoConvertLOCfiles", current.autoConvertLocFiles);
    read.fadeEffectOnExit = ini.ReadBool(kMiscSection, "FadeEffectOnExit", true);
    read.details = ini.ReadBool(kViewSection, "Details", false);
    read.preview = ini.ReadBool(kViewSection, "Preview", current.preview);
    return read;
}

void TSettingsFile::Write(const TSettings& settings) const {
    TIniFile ini(fileName_);
    ini.WriteInteger(kWindowSection, "Top", settings.outer.top());
    ini.WriteInteger(kWindowSection, "Left", settings.outer.left());
    ini.WriteInteger(kWindowSection, "Width", settings.outer.width());
    ini.WriteInteger(kWindowSection, "Height", settings.outer.height());
    ini.WriteString(kPathSection, "pack_FileName", settings.archivePath);
    ini.WriteString(kPathSection, "TargetDir", settings.directory);
    ini.WriteBool(kOtherSection, "hash96", settings.hashTags);
    ini.WriteBool(kOtherSection, "XBOX360", settings.xbox);
    ini.WriteBool(kOtherSection, "AutoConvertLOCfiles", settings.autoConvertLocFiles);
    ini.WriteBool(kMiscSection, "FadeEffectOnExit", settings.fadeEffectOnExit);
    ini.WriteBool(kViewSection, "Details", settings.details);
    ini.WriteBool(kViewSection, "Preview", settings.preview);
    ini.UpdateFile();
}
