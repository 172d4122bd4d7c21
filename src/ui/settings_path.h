// Where the settings file lives.
#pragma once

#include <string>

// The executable's path with its extension replaced by ".ini" ("vpak-gui" gives "vpak-gui.ini").
std::string SettingsFileBesideExecutable(const std::string& executablePath);

// True when the executable in executableDir was installed: its desktop entry lies in the
// share/applications folder beside its bin folder.
bool IsInstalledProgram(const std::string& executableDir);

// Beside the executable when its directory is writable (portable use); otherwise
// vpak-gui.ini in the user's configuration directory: $XDG_CONFIG_HOME when it is an
// absolute path, else $HOME/.config.
std::string ChooseSettingsFile(const std::string& executablePath, bool executableDirWritable,
                               const std::string& xdgConfigHome, const std::string& home);

// ChooseSettingsFile for the running program and its environment. An installed program
// counts as one whose directory is not writable, root's included.
std::string SettingsFileForThisProgram();
