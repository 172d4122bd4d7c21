// The window's settings file: position and size, both paths and the options, read once at
// creation (each value applied as soon as it is read, the place then kept on a screen) and
// written at close.
#include <QCheckBox>
#include <QLineEdit>

#include "ui/ini_file.h"
#include "ui/main_window.h"
#include "ui/text_bridge.h"

namespace {

const std::string kWindowSection = "MainWindow";
const std::string kPathSection = "Path";
const std::string kOtherSection = "Other";
const std::string kMiscSection = "Misc";

}  // namespace

void TForm1::LoadSettings() {
    const TIniFile ini(services_.SettingsFile);
    move(x(), ini.ReadInteger(kWindowSection, "Top", y()));
    move(ini.ReadInteger(kWindowSection, "Left", x()), y());
    SetOuterWidth(ini.ReadInteger(kWindowSection, "Width", OuterWidth()));
    SetOuterHeight(ini.ReadInteger(kWindowSection, "Height", OuterHeight()));
    KeepOnScreen();
    Edit1->setText(QStr(ini.ReadString(kPathSection, "pack_FileName", "")));
    Edit2->setText(QStr(ini.ReadString(kPathSection, "TargetDir", "")));
    CheckBox_hash->setChecked(ini.ReadBool(kOtherSection, "hash96", false));
    // A change of state runs CheckBox_XBOXClick, as a click would.
    CheckBox_XBOX->setChecked(ini.ReadBool(kOtherSection, "XBOX360", false));
    AutoConvertLOCfiles = ini.ReadBool(kOtherSection, "AutoConvertLOCfiles", AutoConvertLOCfiles);
    FadeEffectOnExit = ini.ReadBool(kMiscSection, "FadeEffectOnExit", true);
}

void TForm1::SaveSettings() {
    TIniFile ini(services_.SettingsFile);
    // A window closed maximized reopens at its normal place, not over the whole screen.
    const QRect outer = NormalOuterGeometry();
    ini.WriteInteger(kWindowSection, "Top", outer.top());
    ini.WriteInteger(kWindowSection, "Left", outer.left());
    ini.WriteInteger(kWindowSection, "Width", outer.width());
    ini.WriteInteger(kWindowSection, "Height", outer.height());
    ini.WriteString(kPathSection, "pack_FileName", StdStr(Edit1->text()));
    ini.WriteString(kPathSection, "TargetDir", StdStr(Edit2->text()));
    ini.WriteBool(kOtherSection, "hash96", CheckBox_hash->isChecked());
    ini.WriteBool(kOtherSection, "XBOX360", CheckBox_XBOX->isChecked());
    ini.WriteBool(kOtherSection, "AutoConvertLOCfiles", AutoConvertLOCfiles);
    ini.WriteBool(kMiscSection, "FadeEffectOnExit", FadeEffectOnExit);
    ini.UpdateFile();
}
