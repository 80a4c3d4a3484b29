#include "ServerProcess.h"

#include <cstring>

extern char** environ;

namespace kestrin::testing {

namespace {

std::vector<std::string> environmentWithHome(const std::filesystem::path& home) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "KESTRIN_HOME=", 13) != 0) environment.emplace_back(*entry);
    }
    environment.push_back("KESTRIN_HOME=" + home.string());
    return environment;
}

}  // namespace

ServerProcess::ServerProcess(const std::filesystem::path& home, int standardInput)
    : ChildProcess(KESTRIN_MCP_PATH, {}, environmentWithHome(home), standardInput) {}

}  // namespace kestrin::testing
