#pragma once

#include <sys/types.h>

#include <fstream>
#include <stdexcept>
#include <string>

namespace kestrin {

// What the kernel counts of a live process's memory.
class ProcessMemory {
public:
    // The peak resident memory so far (VmHWM) of process `pid`, or of this
    // process when 0. Throws std::runtime_error when it cannot be read (the
    // process has gone).
    static double peakResidentMB(pid_t pid = 0) {
        std::ifstream status(pid == 0 ? std::string("/proc/self/status")
                                      : "/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("VmHWM:")) return std::stod(line.substr(6)) / 1024.0;
        }
        throw std::runtime_error("no memory figures for process " + std::to_string(pid));
    }
};

}  // namespace kestrin
