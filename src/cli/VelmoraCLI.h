#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "cli/ConsoleFacts.h"
#include "core/intake/AppPaths.h"

namespace kestrin {

// The velmora-cli program without its process: parses one command line and
// runs its command over the given environment, console and streams.
class VelmoraCLI {
public:
    // Runs `arguments` (without the program name). Returns exitSuccess,
    // exitRefused when the command was refused or failed (the reason on
    // `errors`), or exitBadUsage when the command line is wrong (CLI11's
    // message on `errors`). --help, on the program or any command, writes the
    // help to `output` and returns exitSuccess.
    static int main(const std::vector<std::string>& arguments,
                    const AppPaths::Environment& environment, const ConsoleFacts& console,
                    std::istream& input, std::ostream& output, std::ostream& errors);
};

}  // namespace kestrin
