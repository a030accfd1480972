// Memory figures of the benchmarks, read from /proc/self.
#pragma once

#include <fstream>
#include <string>

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM"), or -1.
inline long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = -1;
    while (status >> key) {
        if (key == std::string(field) + ":") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

// Starts measuring a fresh peak: the resident size now, with the high-water mark reset to it.
inline long StartPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
    return StatusKiB("VmRSS");
}
