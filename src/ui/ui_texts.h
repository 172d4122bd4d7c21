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
inline const std::string EmptyDirectoryText =
    "The Directory box is empty: name the folder that holds the new files.";
inline const std::string AuthorLine = "This program was created by The Zorvel";

inline const std::string ConfirmTitle = "Confirm";
inline const std::string AboutTitle = " Yet another tool from The Zorvel...";
