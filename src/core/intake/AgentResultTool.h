#pragma once

#include <string_view>

#include "core/intake/AppPaths.h"

namespace kestrin {

// The MCP tool through which an agent reads back what the human handed back.
// It costs every agent context tokens, so the server offers it only when its
// environment asks for it.
struct AgentResultTool {
    static constexpr std::string_view name = "get_intervention_result";
    static constexpr std::string_view environmentVariable = "KESTRIN_RESULT_TOOL";

    // The one line that tells the human the agent may fetch the result itself.
    static constexpr std::string_view humanHint =
        "若 Agent 的 kestrin-mcp 启用了 KESTRIN_RESULT_TOOL=1，交回后 Agent 也能用 "
        "get_intervention_result 自己读取这份结果。";

    // Whether `environment` switches the tool on: the variable is exactly "1".
    static bool isEnabled(const AppPaths::Environment& environment) {
        const auto found = environment.find(std::string(environmentVariable));
        return found != environment.end() && found->second == "1";
    }
};

}  // namespace kestrin
