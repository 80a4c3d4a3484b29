#include "ServerProcess.h"

extern char** environ;

namespace kestrin::testing {

std::vector<std::string> environmentWithHome(const std::filesystem::path& home) {
    std::vector<std::string> environment{"KESTRIN_HOME=" + home.string()};
    for (char** entry = environ; *entry; ++entry)
        if (std::string_view(*entry).substr(0, 13) != "KESTRIN_HOME=")
            environment.emplace_back(*entry);
    return environment;
}

ServerProcess::ServerProcess(const std::filesystem::path& home, int standardInput)
    : ChildProcess(KESTRIN_MCP_PATH, {}, environmentWithHome(home), standardInput) {}

}  // namespace kestrin::testing
