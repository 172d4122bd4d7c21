#include "ui/settings_path.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QtGlobal>

#include "ui/text_bridge.h"

namespace {

const std::string kUserSettingsName = "vpak-gui.ini";
const std::string kDefaultConfigFolder = "/.config";

}  // namespace

std::string SettingsFileBesideExecutable(const std::string& executablePath) {
    const size_t slash = executablePath.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = executablePath.find_last_of('.');
    // A dot that starts the name (a hidden file) is no extension.
    if (dot == std::string::npos || dot <= nameStart) return executablePath + ".ini";
    return executablePath.substr(0, dot) + ".ini";
}

std::string ChooseSettingsFile(const std::string& executablePath, bool executableDirWritable,
                               const std::string& xdgConfigHome, const std::string& home) {
    if (executableDirWritable) return SettingsFileBesideExecutable(executablePath);
    if (!xdgConfigHome.empty() && xdgConfigHome[0] == '/') return xdgConfigHome + "/" + kUserSettingsName;
    return home + kDefaultConfigFolder + "/" + kUserSettingsName;
}

bool IsInstalledProgram(const std::string& executableDir) {
    return QFileInfo::exists(QStr(executableDir + "/../share/applications/" VPAK_APP_ID ".desktop"));
}

std::string SettingsFileForThisProgram() {
    const QString executable = QCoreApplication::applicationFilePath();
    const QString folder = QFileInfo(executable).absolutePath();
    const bool writable = QFileInfo(folder).isWritable() && !IsInstalledProgram(StdStr(folder));
    return ChooseSettingsFile(StdStr(executable), writable, qgetenv("XDG_CONFIG_HOME").toStdString(),
                              qgetenv("HOME").toStdString());
}
