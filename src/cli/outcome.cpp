#include "cli/outcome.h"

#include <iostream>

#include "cli/exit_status.h"
#include "engine/outcome_texts.h"

int Outcome(bool ok, const std::string& successText) {
    if (!ok) {
        std::cerr << kErrorText << '\n';
        return kExitFailure;
    }
    // Flushed, so that the outcome stays in front of the reasons where both streams meet.
    if (!successText.empty()) std::cout << successText << std::endl;
    return kExitSuccess;
}

int Outcome(bool ok, const std::string& successText, CommandNotices& notices) {
    const int status = Outcome(ok, successText);
    notices.Print();
    return status;
}
