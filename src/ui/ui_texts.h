// The window's fixed texts. Every text that names the archive kind is built from ArchiveExt.
#pragma once

#include <string>

#include "engine/outcome_texts.h"

// The title, the version and the outcome texts are the command line's too.
inline const std::string& ProgramTitle = kProgramTitle;
inline const std::string& ProgramVersion = kProgramVersion;
inline const std::string GameName = "Veldane";
inline const std::string ArchiveExt = "PAK";
inline const std::string& TitleLine = kTitleLine;

// Name of the window class; on X11 it becomes the class part of WM_CLASS.
inline const std::string WindowClassName = "ZORVEL_APP_CLASS";

inline const std::string& ErrorText = kErrorText;
inline const std::string RefusalText = "Don't touch me! I'm working!!!";
inline const std::string StopQuestion = "Stop the current command?";
inline const std::string PreparingText = "preparing...";
inline const std::string PleaseWaitText = "please wait...";
inline const std::string ExitingText = "Exiting...";
inline const std::string WaitingText = "waiting for another program to finish with the archive...";
// The same once the wait has lasted a while, naming the processes that hold the archive.
inline std::string WaitingForText(const std::string& holders) {
    return "waiting for " + holders + " to finish with the archive...";
}
inline const std::string EmptyDirectoryText =
    "The Directory box is empty: name the folder that holds the new files.";
inline const std::string AuthorLine = "This program was created by The Zorvel";
inline const std::string HashHint =
    "Append a Hash checksum to the filenames during Extraction!\r\n"
    "IMPORTANT:\r\n"
    "Check this box only if you want to use the \"Replace\" function!\r\n"
    "Don't check, if you want to use the \"Make\" function!";
inline std::string AboutText() {
    return ProgramTitle + " [v" + ProgramVersion + "]\r\n\r\n" +
           "This is a test version, with lots of bugs, errors, etc, so use it on your risk!\r\n\r\n" +
           "ALWAYS make a backup copy of your files, before overwriting them...";
}

// The contents tree's menu and its questions.
inline const std::string ExtractEntriesCaption = "E&xtract...";
inline const std::string ReplaceEntryCaption = "&Replace...";
inline const std::string AddFilesCaption = "Add &files...";
inline const std::string AddFolderCaption = "Add f&older...";
inline const std::string RemoveEntriesCaption = "Re&move";
inline const std::string CopyPathCaption = "&Copy path";
inline const std::string DetailsCaption = "&Details";
inline const std::string ExtractEntriesTitle = "Select the directory to extract the selected entries to...";
inline const std::string AddFolderTitle = "Select the folder to add to the archive...";
inline std::string ReplaceEntryTitle(const std::string& path) {
    return "Please select the file to put in place of \"" + path + "\":";
}
inline const std::string AddFilesTitle = "Please select the files to add to the archive:";
// Entries are dragged out through a folder that no other user can change; the host's lines
// that follow say why each folder for temporary files will not do.
inline const std::string DragFolderRefusal = "The entries cannot be dragged out: no folder for temporary files will do.\n";
inline const std::string FilterPlaceholder = "Find: part of a path, or a pattern with * and ? (Esc closes)";

inline const std::string ConfirmTitle = "Confirm";
inline const std::string AboutTitle = " Yet another tool from The Zorvel...";

// The contents tree's empty area while no archive is open, and while the filter shows nothing.
inline const std::string EmptyTreeHint =
    "No archive is open.\n\nName a ." + ArchiveExt + " file above and press Enter, pick one with \"...\", "
    "or drop a ." + ArchiveExt + " file here.\n\nIn the tree, F3 previews a file and Enter opens it.";
inline const std::string NoMatchHint = "No match";
