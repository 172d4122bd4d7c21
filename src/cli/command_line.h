// The command line as a whole, run from the program's entry point: main on Linux
// (entry.cpp), wmain on Windows (entry_windows.cpp), which turns its UTF-16 arguments into
// the bytes everything else takes.
#pragma once

// Parses argv (arguments as bytes, UTF-8 for text), runs the command and returns the exit status.
int RunCommandLine(int argc, char** argv);
