#pragma once

#include <filesystem>

#include "../support/ChildProcess.h"

namespace kestrin::testing {

// A real kestrin-mcp (the program at KESTRIN_MCP_PATH) with this process's environment, but
// KESTRIN_HOME set to `home`, and pipes on its standard streams (or `standardInput` as its input).
class ServerProcess : public ChildProcess {
public:
    explicit ServerProcess(const std::filesystem::path& home, int standardInput = -1);
};

}  // namespace kestrin::testing
