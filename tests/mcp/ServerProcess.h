#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "../support/ChildProcess.h"

namespace kestrin::testing {

// This process's environment with KESTRIN_HOME set to `home`.
std::vector<std::string> environmentWithHome(const std::filesystem::path& home);

// The real kestrin-mcp (KESTRIN_MCP_PATH) with this process's environment but KESTRIN_HOME=`home`.
class ServerProcess : public ChildProcess {
public:
    explicit ServerProcess(const std::filesystem::path& home, int standardInput = -1);
};

}  // namespace kestrin::testing
