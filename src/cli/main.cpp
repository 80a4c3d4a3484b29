// velmora-cli: the to-do list of intervention items in a terminal, for SSH
// sessions and scripts. Works on the same data directory and database as the
// desktop app and kestrin-mcp (KESTRIN_HOME or the default).

#include <iostream>
#include <string>
#include <vector>

#include "cli/ConsoleFacts.h"
#include "cli/VelmoraCLI.h"
#include "core/intake/AppPaths.h"

int main(int argc, char** argv) {
    const auto environment = kestrin::AppPaths::processEnvironment();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return kestrin::VelmoraCLI::main(arguments, environment,
                                     kestrin::ConsoleFacts::detect(environment), std::cin,
                                     std::cout, std::cerr);
}
