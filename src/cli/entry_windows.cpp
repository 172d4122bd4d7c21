#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "support/windows_names.h"

// Windows hands the arguments over as UTF-16; the command line takes them as UTF-8 bytes,
// as Linux gives them. Output keeps its bytes: the C runtime would otherwise turn every "\n"
// into "\r\n", and `vpak list` prints the same bytes on both platforms. A console shows the
// UTF-8 it is given.
int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        const std::optional<std::string> bytes = NameOfWindowsText(reinterpret_cast<const char16_t*>(argv[i]));
        if (!bytes) {
            std::cerr << "vpak: argument " << i << " is not valid Unicode (a lone surrogate)\n";
            return kExitUsage;
        }
        arguments.push_back(*bytes);
    }
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return RunCommandLine(argc, pointers.data());
}
