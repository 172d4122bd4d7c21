#include "ui/start_arguments.h"

std::string StartUsageText() {
    return "Usage: vpak-gui [ARCHIVE]\n"
           "Show the window of the .PAK tool. With ARCHIVE, the archive is put in the .PAK file box\n"
           "and opened, as picking it with \"...\" does.\n"
           "  -h, --help     print this help and exit\n"
           "  --version      print the version and exit\n"
           "\n"
           "Keys in the window:\n"
           "  Enter          open the selected file in the desktop's program for its type; once\n"
           "                 it is saved there, the window offers to put it back into the archive\n"
           "  F3             show or hide the preview of the selected file\n"
           "  F2, Ctrl+S     edit the strings of a previewed .loc table, and save them into it\n"
           "  Ctrl+F         filter the tree (* and ? as in vpak extract); Escape ends it\n"
           "  Menu key       the tree's menu: open, extract, replace, add, remove, copy path,\n"
           "                 preview, and Details (size columns)\n";
}

TStartAction InformationAsked(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if (argument == "--") break;
        if (argument == "-h" || argument == "--help") return TStartAction::Help;
        if (argument == "--version") return TStartAction::Version;
    }
    return TStartAction::Run;
}

TStartArguments ParseStartArguments(const std::vector<std::string>& arguments) {
    TStartArguments result;
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && (argument == "-h" || argument == "--help")) return {TStartAction::Help, "", ""};
        if (!optionsEnded && argument == "--version") return {TStartAction::Version, "", ""};
        if (!optionsEnded && argument.size() > 1 && argument[0] == '-')
            return {TStartAction::Misused, "", "unknown option \"" + argument + "\""};
        if (!result.archive.empty()) return {TStartAction::Misused, "", "only one ARCHIVE can be opened"};
        if (argument.empty()) return {TStartAction::Misused, "", "the ARCHIVE named is empty"};
        result.archive = argument;
    }
    return result;
}
