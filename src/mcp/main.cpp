// kestrin-mcp: the stdio MCP server a coding agent starts as a child process.
// No arguments; the data directory comes from KESTRIN_HOME or the default.

#include <csignal>
#include <iostream>

#include "core/intake/AppPaths.h"
#include "mcp/FileDescriptorStreamBuffer.h"
#include "mcp/KestrinMCPMain.h"

int main() {
    // A client that closes its end must not kill the server mid-write: the
    // write fails with EPIPE instead, and the server ends quietly.
    std::signal(SIGPIPE, SIG_IGN);

    kestrin::FileDescriptorStreamBuffer standardInput(0);
    kestrin::FileDescriptorStreamBuffer standardOutput(1);
    std::istream input(&standardInput);
    std::ostream output(&standardOutput);
    return kestrin::KestrinMCPMain::main(kestrin::AppPaths::processEnvironment(), input, output,
                                         std::cerr);
}
