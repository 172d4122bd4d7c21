#include "cli/lock_waiting.h"

#include <iostream>

#include "cli/interrupt_stop.h"
#include "support/display_text.h"
#include "support/host_entries.h"
#include "support/host_lock.h"

void TellLockWaits() {
    host::SetLockWaiting({true,
                          [](const std::string& path, bool begins) {
                              if (begins && host::StandardErrorIsTerminal())
                                  std::cerr << "vpak: waiting for another process to finish with \""
                                            << PrintableText(path) << "\" (Ctrl+C gives up)..." << std::endl;
                              StopIfAsked();
                          },
                          [](const std::string& path, const std::string& holders) {
                              if (host::StandardErrorIsTerminal())
                                  std::cerr << "vpak: \"" << PrintableText(path) << "\" is held by "
                                            << PrintableText(holders) << std::endl;
                          }});
}

void AddNoWaitFlag(CLI::App* command) {
    command->add_flag_callback(
        "--no-wait", [] { host::SetLockWaiting({false, nullptr}); },
        "Fail at once (exit 1) when another process is using the archive, instead of waiting;\n"
        "the message names that process where the system tells");
}
