#pragma once

#include <filesystem>

#include "../support/ChildProcess.h"

namespace kestrin::testing {

// The real kestrin-mcp (KESTRIN_MCP_PATH) with this process's environment but KESTRIN_HOME=`home`.
class ServerProcess : public ChildProcess {
public:
    explicit ServerProcess(const std::filesystem::path& home, int standardInput = -1);
};

}  // namespace kestrin::testing
