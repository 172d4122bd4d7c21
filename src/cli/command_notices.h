// The notices sink of one command: what its operation has to tell besides its result,
// printed on standard error, one line each, as "vpak: " + text (with the advice worded for
// the command line, control bytes escaped).
#pragma once

#include "engine/notices.h"

// The notices are printed by Print, after the outcome, or when the command ends with an
// error, on the way out.
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
