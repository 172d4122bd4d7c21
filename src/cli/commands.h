// The subcommands of vpak. Each registers itself on the app and, when it runs, stores its
// exit status: 0 a true result, 1 a false one ("Error :-(" on standard error).
// Errors raised by the engine leave the callback and are turned into exit 3 by main.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "engine/notices.h"
#include "engine/outcome_texts.h"

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRaised = 3;
inline constexpr int kExitClosedOutput = 141;  // as a shell reports a process ended by SIGPIPE

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

// While another process uses the archive, a command waits and says so on a terminal.
void TellLockWaits();
// --no-wait on a command that writes: it fails at once instead (exit 1).
void AddNoWaitFlag(CLI::App* command);

// Refuses a path inside the archive that names no entry a user may mean (empty, from a root,
// with a "." or ".." part) as a usage error.
CLI::Validator ArchivePathCheck();

// Prints the outcome text on standard output for a true result, "Error :-(" on standard
// error for a false one, and returns the exit status.
int Outcome(bool ok, const std::string& successText);

// What one command's operation has to tell besides its result, printed on standard error, one
// line each, as "vpak: " + text (with the advice, control bytes escaped): by Print after the
// outcome, or when the command ends with an error, on the way out.
class CommandNotices {
public:
    CommandNotices() = default;
    ~CommandNotices() { Print(); }
    CommandNotices(const CommandNotices&) = delete;
    CommandNotices& operator=(const CommandNotices&) = delete;

    TNotices* Sink() { return &notices_; }
    void Print();

private:
    TNotices notices_;
};

// Outcome, then the notices: the outcome line comes first, the reasons follow it.
int Outcome(bool ok, const std::string& successText, CommandNotices& notices);

// The notice as a line of standard error, without "vpak: ": the advice worded for the
// command line, control bytes escaped.
std::string NoticeLine(const TNotice& notice);
