// The subcommands of vpak. Each registers itself on the app and, when it runs, stores its
// exit status (exit_status.h). Errors raised by the engine leave the callback and are turned
// into exit 3 by main.
#pragma once

#include <CLI/CLI.hpp>

void RegisterListCommand(CLI::App& app, int& exitStatus);
void RegisterTagCommand(CLI::App& app, int& exitStatus);
void RegisterLocCommands(CLI::App& app, int& exitStatus);
void RegisterExtractCommand(CLI::App& app, int& exitStatus);
void RegisterMakeCommand(CLI::App& app, int& exitStatus);
void RegisterReplaceCommands(CLI::App& app, int& exitStatus);
void RegisterCatCommand(CLI::App& app, int& exitStatus);
void RegisterTestCommand(CLI::App& app, int& exitStatus);
void RegisterDiffCommand(CLI::App& app, int& exitStatus);
void RegisterEditCommands(CLI::App& app, int& exitStatus);
void RegisterSyncCommand(CLI::App& app, int& exitStatus);
