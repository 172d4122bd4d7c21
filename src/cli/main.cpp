// vpak: the command-line front end. One subcommand runs one engine operation with the
// arguments the window would pass and prints the window's own outcome text.
#include <cstdio>
#include <exception>
#include <iostream>
#include <new>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/lock_waiting.h"
#include "engine/outcome_texts.h"
#include "support/display_text.h"
#include "support/errors.h"

namespace {

// Usage errors print the message and the help of the command that was being parsed. A
// word that names no command is left over from a parse that found none, which the parser
// only reports as a command missing.
int UsageError(CLI::App& app, const CLI::ParseError& error) {
    CLI::App* context = &app;
    for (CLI::App* sub : app.get_subcommands()) context = sub;
    std::string message = error.what();
    const std::vector<std::string> unparsed = app.remaining();
    if (context == &app && !unparsed.empty() && !unparsed.front().starts_with('-'))
        message = "unknown command \"" + unparsed.front() + "\"";
    std::cerr << "vpak: " << PrintableText(message) << "\n\n" << context->help();
    return kExitUsage;
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
    CLI::App app{"vpak: list, extract, build, edit and update the .PAK archives of Veldane,\n"
                 "and convert its .loc string tables to text and back.",
                 "vpak"};
    app.set_version_flag("--version", kTitleLine, "Print the version and exit");
    app.require_subcommand(1);
    app.footer("Exit status: 0 success, 1 the operation failed (\"Error :-(\"; for diff, a difference;\n"
               "with --no-wait, another process was using the archive),\n"
               "2 usage error,\n"
               "3 an input/output or decompression error, or not enough memory (its message on\n"
               "standard error),\n"
               "130 stopped by Ctrl+C (a build, edit or update leaves the archive as it was),\n"
               "141 the reader of `cat` closed the pipe.");

    TellLockWaits();
    int exitStatus = kExitSuccess;
    RegisterListCommand(app, exitStatus);
    RegisterTagCommand(app, exitStatus);
    RegisterLocCommands(app, exitStatus);
    RegisterExtractCommand(app, exitStatus);
    RegisterMakeCommand(app, exitStatus);
    RegisterReplaceCommands(app, exitStatus);
    RegisterCatCommand(app, exitStatus);
    RegisterTestCommand(app, exitStatus);
    RegisterDiffCommand(app, exitStatus);
    RegisterEditCommands(app, exitStatus);
    RegisterSyncCommand(app, exitStatus);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        CLI::App* context = &app;
        for (CLI::App* sub : app.get_subcommands()) context = sub;
        std::cout << context->help();
        return kExitSuccess;
    } catch (const CLI::CallForVersion&) {
        std::cout << kTitleLine << '\n';
        return kExitSuccess;
    } catch (const CLI::ParseError& error) {
        return UsageError(app, error);
    } catch (const EFileBusy& error) {
        // Asked not to wait: the operation did not run, as any false result.
        std::cout.flush();
        std::cerr << kErrorText << "\nvpak: " << PrintableText(error.what()) << '\n';
        return kExitFailure;
    } catch (const std::bad_alloc&) {
        // Printed as it is: escaping the text could itself need memory.
        std::cout.flush();
        std::cerr << "vpak: " << kOutOfMemoryText << '\n';
        return kExitRaised;
    } catch (const std::exception& error) {
        std::cout.flush();
        std::cerr << "vpak: " << PrintableText(error.what()) << '\n';
        return kExitRaised;
    }
    return exitStatus;
}
