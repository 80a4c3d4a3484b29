#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrin {

// A program run to its end with an address-space limit and a deadline, so
// that a program whose cost follows the size of the store cannot take the
// shared machine's memory or hang the benchmark. Its standard output and
// error are collected; its peak resident memory and processor time are its
// own, not this process's.
class LimitedChild {
public:
    struct Limits {
        std::int64_t addressSpaceBytes;
        std::chrono::seconds deadline;
    };

    struct Outcome {
        // The program ran to its end with exit status 0.
        bool succeeded = false;
        // It ran out of memory under the limit or out of time: a measurement,
        // not a fault. Memory is recognised by the C++ runtime's or SQLite's
        // words for it on standard error.
        bool overLimit = false;
        std::string output;
        std::string errors;
        // How it ended, for a failure message: "exit status 3", "signal 6"…
        std::string ending;
        std::chrono::nanoseconds wallTime{};
        std::chrono::microseconds processorTime{};
        std::int64_t peakResidentKiB = 0;
    };

    // Runs `program` with `arguments` and exactly `environment` ("NAME=value").
    // Throws std::runtime_error when it cannot be started at all.
    static Outcome run(const std::string& program, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment, const Limits& limits);

    // This process's environment with `overrides` ("NAME=value") put in place
    // of the variables of the same names.
    static std::vector<std::string> environmentWith(const std::vector<std::string>& overrides);
};

}  // namespace kestrin
