// The libFuzzer side of a target: a broken property is reported and ends the run, so
// libFuzzer saves the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

inline int AbortOnFinding(const std::string& verdict) {
    if (verdict.empty()) return 0;
    std::fprintf(stderr, "fuzz finding: %s\n", verdict.c_str());
    std::abort();
}
