// A private X server for tests that need a real window system: Xvfb on a display number it
// picks itself, with openbox managing its windows, and xprop to read what windows show.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "helpers/temp_dir.h"

class TXDisplay {
public:
    TXDisplay() = default;
    ~TXDisplay();
    TXDisplay(const TXDisplay&) = delete;
    TXDisplay& operator=(const TXDisplay&) = delete;

    // Starts the server and the window manager and waits until both are ready. False when
    // either cannot run; Failure() then says why.
    bool Start();

    // ":N", once started.
    const std::string& Name() const { return name_; }
    const std::string& Failure() const { return failure_; }

    // What xprop shows of a window's property, after "PROPERTY = " ("\"text\"" for a
    // string); "not found" when the window lacks it.
    std::string WindowProperty(unsigned long window, const std::string& property) const;

private:
    bool StartServer();
    bool StartWindowManager();
    std::string Xprop(const std::vector<std::string>& args) const;
    std::string LogTail(const std::string& log) const;

    TempDir logs_;
    pid_t server_ = -1;
    pid_t manager_ = -1;
    std::string name_;
    std::string failure_;
};

// The display the tests of this program run on; null when none could be started (then
// XDisplayFailure() says why).
const TXDisplay* TestXDisplay();
const std::string& XDisplayFailure();
