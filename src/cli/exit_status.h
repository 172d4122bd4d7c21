// The exit statuses of vpak, as its help's footer lists them.
#pragma once

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // a false result ("Error :-(")
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRaised = 3;  // an error raised by the engine, or a file that cannot be read at all
inline constexpr int kExitInterrupted = 130;  // as a shell reports a process ended by SIGINT
inline constexpr int kExitClosedOutput = 141;  // as a shell reports a process ended by SIGPIPE
