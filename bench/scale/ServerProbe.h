#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace kestrin {

// The real kestrin-mcp over a data directory, driven through its standard
// streams as an agent drives it: started and initialized once, then asked
// get_kestrin_status again and again.
class ServerProbe {
public:
    struct Figures {
        double statusMilliseconds = 0;  // median round trip of one call
        double peakResidentMB = 0;      // the server's, after the calls
    };

    // `calls` timed calls; each reply must report `openTaskCount` unfinished
    // tasks. Throws std::runtime_error (with what the server said) when the
    // server fails, answers with an error or reports another count.
    static Figures measure(const std::string& serverProgram, const std::filesystem::path& home,
                           int calls, std::int64_t openTaskCount);
};

}  // namespace kestrin
