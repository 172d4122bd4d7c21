// The texts of opening an entry in its program and putting the changed copy back. Each takes
// the entry's archive path as the tree shows it (UTF-8).
#pragma once

#include <string>
#include <vector>

inline const std::string OpenEntryCaption = "&Open";
inline const std::string OpenFolderRefusal = "The entry cannot be opened: no folder for temporary files will do.\n";

inline std::string Curly(const std::string& path) { return "\u201C" + path + "\u201D"; }

inline std::string OpenedText(const std::string& path) { return "O.K. " + Curly(path) + " opened in its program."; }
inline std::string NoProgramText(const std::string& path) {
    return "No program of the desktop would open " + Curly(path) + ".";
}
inline std::string PutBackQuestion(const std::string& path) {
    return Curly(path) + " was changed in another program. Put it back into the archive?";
}
inline std::string UnstoredCloseQuestion(const std::vector<std::string>& paths) {
    std::string text = paths.size() == 1 ? "This opened file was changed and not put back into the archive:"
                                         : "These opened files were changed and not put back into the archive:";
    for (const std::string& path : paths) text += "\r" + Curly(path);
    return text + "\rClose the window anyway? The changes will be lost.";
}
