#pragma once

#include <map>
#include <string>
#include <vector>

namespace kestrin::testing {

// What one run of the velmora-cli binary did.
struct CLIRun {
    int exitStatus = -1;  // or 128 + the signal that ended it
    std::string output;   // standard output (on a terminal: everything, CR LF as LF)
    std::string errors;   // standard error (empty on a terminal)
};

// Runs the real velmora-cli (VELMORA_CLI_PATH) with `arguments`, only the given
// `environment` (plus the sanitizer options of this process) and `input` on a
// pipe as its standard input; standard output and error are pipes.
CLIRun runCLI(const std::vector<std::string>& arguments,
              const std::map<std::string, std::string>& environment, const std::string& input = {});

// The same on a pseudo-terminal of `columns` columns: standard input, output
// and error are the terminal, `typed` is what the user types (echoed back into
// the output).
CLIRun runCLIOnTerminal(const std::vector<std::string>& arguments,
                        const std::map<std::string, std::string>& environment,
                        const std::string& typed, int columns);

}  // namespace kestrin::testing
