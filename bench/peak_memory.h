// The process's peak resident size, for the benchmarks that report what an operation holds.
#pragma once

#include <malloc.h>

#include <fstream>
#include <string>

// What was freed goes back to the system first, so that the peak starts from what is held.
inline void ResetPeakMemory() {
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The most memory the process has held, in MiB, since the last ResetPeakMemory.
inline double PeakMemoryMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}
