// Opening an archive in the byte order it reads in: the XBOX box's order first, the other one
// only when the box's does not read. Where both read, the box decides; nothing is guessed.
#pragma once

#include <string>

#include "ui/engine_calls.h"

struct TByteOrderChoice {
    bool ok = false;
    bool xbox = false;      // the order the index was read in
    bool switched = false;  // it reads only in the order the box did not ask for
};

// Reads the index of archivePath into index. Where only the other order reads, notices hold
// what that read told; otherwise what the box's order told.
TByteOrderChoice ReadInEitherByteOrder(const TEngineCalls& engine, bool xbox, const std::string& archivePath,
                                       TArchiveIndex& index, TNotices* notices);

// The caption's note on a switch: which way the box was set, "" without one.
std::string ByteOrderSwitchNote(const TByteOrderChoice& choice);
